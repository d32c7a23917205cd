#pragma once

// Reads the colour of every pixel of a DIB, whatever its format, so that two
// DIBs of different formats can be compared pixel by pixel.

// clang-format off
#include <windows.h>
// clang-format on

#include <cstdint>
#include <cstring>
#include <vector>

// 0xRRGGBB of each pixel, rows top-down.
using Colours = std::vector<std::uint32_t>;

inline std::uint32_t Channel(std::uint32_t value, std::uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const std::uint32_t top = mask >> shift;
    return (((value & mask) >> shift) * 255 + top / 2) / top;
}

// header: the DIB's header; table: what follows it (masks or colours);
// bits: its rows.
inline Colours ReadColours(const BITMAPINFOHEADER& header, const unsigned char* table,
                           const unsigned char* bits) {
    const LONG width = header.biWidth;
    const LONG rows = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    const WORD bitCount = header.biBitCount;
    const std::size_t stride = (std::size_t(width) * bitCount + 31) / 32 * 4;
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bitCount == 32) {
        masks[0] = 0xFF0000;
        masks[1] = 0xFF00;
        masks[2] = 0xFF;
    }
    if (header.biCompression == BI_BITFIELDS) std::memcpy(masks, table, sizeof masks);
    Colours colours;
    for (LONG y = 0; y < rows; ++y) {
        const LONG stored = header.biHeight < 0 ? y : rows - 1 - y;
        const unsigned char* row = bits + std::size_t(stored) * stride;
        for (LONG x = 0; x < width; ++x) {
            std::uint32_t colour = 0;
            if (bitCount <= 8) {
                const std::size_t bit = std::size_t(x) * bitCount;
                const unsigned index =
                    (row[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
                std::memcpy(&colour, table + 4 * index, 4);
                colour &= 0xFFFFFF;
            } else if (bitCount == 24) {
                const unsigned char* at = row + 3 * x;
                colour = std::uint32_t{at[2]} << 16 | std::uint32_t{at[1]} << 8 | at[0];
            } else {
                std::uint32_t value = 0;
                std::memcpy(&value, row + x * (bitCount / 8), bitCount / 8);
                colour = Channel(value, masks[0]) << 16 | Channel(value, masks[1]) << 8 |
                         Channel(value, masks[2]);
            }
            colours.push_back(colour);
        }
    }
    return colours;
}

// The same for a packed DIB: header, masks or colour table, rows.
inline Colours ReadPackedColours(const std::vector<unsigned char>& dib) {
    BITMAPINFOHEADER header;
    std::memcpy(&header, dib.data(), sizeof header);
    std::size_t table = 0;
    if (header.biCompression == BI_BITFIELDS) {
        table = 12;
    } else if (header.biBitCount <= 8) {
        table = 4 * (header.biClrUsed != 0 ? header.biClrUsed : 1u << header.biBitCount);
    }
    return ReadColours(header, dib.data() + sizeof header, dib.data() + sizeof header + table);
}
