#pragma once

// The virtual feeder: how many images one acquisition delivers and which
// sheet and side each of them is. Without duplex every sheet gives one image;
// with duplex the front and then the back of each sheet, each counted as an
// image of its own, as a transfer count counts images and not sheets.

#include "page_pattern.h"

// What "all pages" (a transfer count of -1) finds in the feeder.
constexpr int kSheetsInFeeder = 3;

constexpr int ImagesToDeliver(int transferCount, bool duplex) {
    return transferCount == -1 ? kSheetsInFeeder * (duplex ? 2 : 1) : transferCount;
}

// index: 0 for the first image of the acquisition.
constexpr PageFace FaceOfImage(int index, bool duplex) {
    PageFace face;
    face.number = index + 1;
    face.sheet = duplex ? index / 2 + 1 : index + 1;
    face.back = duplex && index % 2 == 1;
    return face;
}
