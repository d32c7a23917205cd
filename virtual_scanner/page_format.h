#pragma once

#include <cstddef>

#include "scan_settings.h"

// The shape of every page an acquisition delivers: A4 at the negotiated
// resolutions, in the negotiated pixel type, as an uncompressed bottom-up DIB.
struct PageFormat {
    int width = 0;
    int height = 0;
    int xResolution = 0;
    int yResolution = 0;
    TW_UINT16 pixelType = TWPT_RGB;
    int bitsPerPixel = 24;
    int paletteSize = 0;  // colour table entries: 2 for black and white, 256 for grey

    // Rows of a DIB start on 4-byte boundaries.
    std::size_t RowBytes() const;
    std::size_t PixelBytes() const;
    // Header, colour table and rows: the whole packed DIB.
    std::size_t DibBytes() const;
};

PageFormat FormatFor(const ScanSettings& settings);

// DG_IMAGE/DAT_IMAGEINFO/MSG_GET: the same facts as the DIB's own header.
void DescribeImage(const PageFormat& format, TW_IMAGEINFO& info);
