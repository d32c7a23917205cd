#include "page_format.h"

#include "page_pattern.h"

std::size_t PageFormat::RowBytes() const {
    return (static_cast<std::size_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

std::size_t PageFormat::PixelBytes() const { return RowBytes() * height; }

std::size_t PageFormat::DibBytes() const {
    return sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD) * paletteSize + PixelBytes();
}

PageFormat FormatFor(const ScanSettings& settings) {
    PageFormat format;
    format.width = A4Width(settings.xResolution);
    format.height = A4Height(settings.yResolution);
    format.xResolution = settings.xResolution;
    format.yResolution = settings.yResolution;
    format.pixelType = settings.pixelType;
    switch (settings.pixelType) {
        case TWPT_BW:
            format.bitsPerPixel = 1;
            format.paletteSize = 2;
            break;
        case TWPT_GRAY:
            format.bitsPerPixel = 8;
            format.paletteSize = 256;
            break;
        default:
            format.bitsPerPixel = 24;
            format.paletteSize = 0;
            break;
    }
    return format;
}

void DescribeImage(const PageFormat& format, TW_IMAGEINFO& info) {
    info = TW_IMAGEINFO{};
    info.XResolution.Whole = static_cast<TW_INT16>(format.xResolution);
    info.YResolution.Whole = static_cast<TW_INT16>(format.yResolution);
    info.ImageWidth = format.width;
    info.ImageLength = format.height;
    const bool colour = format.pixelType == TWPT_RGB;
    info.SamplesPerPixel = colour ? 3 : 1;
    const int bitsPerSample = colour ? 8 : format.bitsPerPixel;
    for (int sample = 0; sample < info.SamplesPerPixel; ++sample)
        info.BitsPerSample[sample] = static_cast<TW_INT16>(bitsPerSample);
    info.BitsPerPixel = static_cast<TW_INT16>(format.bitsPerPixel);
    info.Planar = FALSE;
    info.PixelType = static_cast<TW_INT16>(format.pixelType);
    info.Compression = TWCP_NONE;
}
