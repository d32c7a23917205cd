#pragma once

// Packed DIBs for the tests that hand pages to the bridge through the test
// TWAIN manager.

// clang-format off
#include <windows.h>
// clang-format on

#include <cstddef>
#include <cstring>
#include <vector>

// A bottom-up packed DIB as a source would fill a block with: width x height
// pixels of bitCount bits, a full colour table up to 8 bits, and bytes that
// differ from row to row and from pixel to pixel.
inline std::vector<unsigned char> PatternDib(LONG width, LONG height, WORD bitCount,
                                             LONG pelsPerMeter) {
    const std::size_t colours = bitCount <= 8 ? std::size_t{1} << bitCount : 0;
    const std::size_t stride = (std::size_t(width) * bitCount + 31) / 32 * 4;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biSizeImage = static_cast<DWORD>(stride * height);
    header.biXPelsPerMeter = pelsPerMeter;
    header.biYPelsPerMeter = pelsPerMeter;
    header.biClrUsed = static_cast<DWORD>(colours);
    std::vector<unsigned char> dib(sizeof(header) + 4 * colours + stride * height, 0);
    std::memcpy(dib.data(), &header, sizeof(header));
    for (std::size_t i = 0; i < colours; ++i) {
        unsigned char* entry = dib.data() + sizeof(header) + 4 * i;
        entry[0] = static_cast<unsigned char>(i);
        entry[1] = static_cast<unsigned char>(255 - i);
        entry[2] = static_cast<unsigned char>(i * 7);
    }
    // Padding bytes stay 0: what GetDIBits leaves there is its own business.
    const std::size_t used = (std::size_t(width) * bitCount + 7) / 8;
    for (LONG row = 0; row < height; ++row) {
        unsigned char* bytes = dib.data() + sizeof(header) + 4 * colours + row * stride;
        for (std::size_t i = 0; i < used; ++i)
            bytes[i] = static_cast<unsigned char>(row * 31 + i * 3 + 1);
        if (bitCount < 8 && (width * bitCount) % 8 != 0) {
            bytes[used - 1] &= static_cast<unsigned char>(0xFF << (8 - (width * bitCount) % 8));
        }
    }
    return dib;
}
