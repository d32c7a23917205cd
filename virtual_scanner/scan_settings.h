#pragma once

#include "twain_types.h"

// What the application has negotiated with the open source. Opening the
// source starts from these defaults; the values last until it is closed.
struct ScanSettings {
    int transferCount = -1;  // -1: every sheet in the feeder
    TW_UINT16 pixelType = TWPT_RGB;
    int xResolution = 100;
    int yResolution = 100;
    TW_UINT16 pageSize = TWSS_A4LETTER;
    bool duplex = false;
};
