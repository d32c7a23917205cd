#include "page_renderer.h"

#include <cstdint>
#include <cstring>

#include "global_memory.h"

namespace {

// An inch is 0.0254 metres; rounded to whole pixels per metre.
LONG PixelsPerMetre(int dpi) { return static_cast<LONG>((dpi * 10000L + 127) / 254); }

void WriteHeader(const PageFormat& format, unsigned char* dib) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = format.width;
    header.biHeight = format.height;  // bottom-up, the usual DIB
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(format.bitsPerPixel);
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(format.PixelBytes());
    header.biXPelsPerMeter = PixelsPerMetre(format.xResolution);
    header.biYPelsPerMeter = PixelsPerMetre(format.yResolution);
    header.biClrUsed = static_cast<DWORD>(format.paletteSize);
    std::memcpy(dib, &header, sizeof(header));

    // Black to white: index 0 is black, the last index white.
    auto* palette = reinterpret_cast<RGBQUAD*>(dib + sizeof(header));
    for (int index = 0; index < format.paletteSize; ++index) {
        const auto level = static_cast<BYTE>(index * 255 / (format.paletteSize - 1));
        palette[index] = RGBQUAD{level, level, level, 0};
    }
}

void WriteRow(const PageFormat& format, const PagePattern& pattern, int y, unsigned char* row) {
    switch (format.bitsPerPixel) {
        case 1:
            // The leftmost pixel in the highest bit; padding stays zero.
            for (int x = 0; x < format.width; ++x) {
                if (pattern.White(x, y)) row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
            }
            break;
        case 8:
            for (int x = 0; x < format.width; ++x) row[x] = pattern.Grey(x, y);
            break;
        default:
            for (int x = 0; x < format.width; ++x) {
                const Rgb colour = pattern.Colour(x, y);
                row[3 * x] = colour.blue;
                row[3 * x + 1] = colour.green;
                row[3 * x + 2] = colour.red;
            }
            break;
    }
}

}  // namespace

HGLOBAL RenderPage(const PageFormat& format, const PageFace& face) {
    const auto draw = [&](unsigned char* dib) {
        WriteHeader(format, dib);
        unsigned char* pixels =
            dib + sizeof(BITMAPINFOHEADER) + sizeof(RGBQUAD) * format.paletteSize;
        const PagePattern pattern(format.width, format.height, face);
        const std::size_t rowBytes = format.RowBytes();
        for (int y = 0; y < format.height; ++y)
            WriteRow(format, pattern, y, pixels + rowBytes * (format.height - 1 - y));
    };
    // Zero-filled, so the padding at the end of each row is defined.
    return NewGlobalBlock(format.DibBytes(), draw).release();
}
