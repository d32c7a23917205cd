#pragma once

// Reads the pages the tests receive, a packed DIB from a native transfer or
// the BMP file made of it, independently of the code that wrote them, and
// compares them pixel by pixel with the page pattern.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "page_pattern.h"

struct DibImage {
    BITMAPINFOHEADER header{};
    std::vector<Rgb> palette;
    const unsigned char* pixels = nullptr;
    std::size_t rowBytes = 0;

    int Width() const { return header.biWidth; }
    int Height() const { return header.biHeight; }
    int BitCount() const { return header.biBitCount; }

    // x from the left, y from the top.
    Rgb Pixel(int x, int y) const {
        const unsigned char* row = pixels + rowBytes * (Height() - 1 - y);
        switch (BitCount()) {
            case 1:
                return palette[(row[x / 8] >> (7 - x % 8)) & 1];
            case 8:
                return palette[row[x]];
            default:
                return Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
        }
    }
};

// The DIB at bytes, or an error saying why it is not an uncompressed
// bottom-up 1, 8 or 24-bit DIB that fits into size bytes.
inline std::string ReadDib(const unsigned char* bytes, std::size_t size, DibImage& image) {
    if (size < sizeof(BITMAPINFOHEADER)) return "shorter than its header";
    std::memcpy(&image.header, bytes, sizeof(image.header));
    const BITMAPINFOHEADER& h = image.header;
    if (h.biSize != sizeof(BITMAPINFOHEADER)) return "header size " + std::to_string(h.biSize);
    if (h.biPlanes != 1 || h.biCompression != BI_RGB) return "planes or compression";
    if (h.biWidth <= 0 || h.biHeight <= 0) return "not a bottom-up image";
    if (h.biBitCount != 1 && h.biBitCount != 8 && h.biBitCount != 24)
        return "bit count " + std::to_string(h.biBitCount);
    const std::size_t colours =
        h.biClrUsed != 0 ? h.biClrUsed : (h.biBitCount <= 8 ? 1u << h.biBitCount : 0u);
    image.rowBytes = (static_cast<std::size_t>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
    const std::size_t pixelBytes = image.rowBytes * h.biHeight;
    if (h.biSizeImage != pixelBytes) return "biSizeImage " + std::to_string(h.biSizeImage);
    const std::size_t table = sizeof(h) + 4 * colours;
    if (size < table + pixelBytes) return "rows past the end";
    image.palette.clear();
    for (std::size_t i = 0; i < colours; ++i) {
        const unsigned char* entry = bytes + sizeof(h) + 4 * i;
        image.palette.push_back(Rgb{entry[2], entry[1], entry[0]});
    }
    image.pixels = bytes + table;
    return {};
}

// The same for a BMP file, whose header must agree with the DIB after it.
inline std::string ReadBmp(const std::vector<unsigned char>& file, DibImage& image) {
    if (file.size() < 14 || file[0] != 'B' || file[1] != 'M') return "no BM file header";
    std::uint32_t fileSize = 0;
    std::uint32_t offset = 0;
    std::memcpy(&fileSize, file.data() + 2, 4);
    std::memcpy(&offset, file.data() + 10, 4);
    if (fileSize != file.size()) return "bfSize " + std::to_string(fileSize);
    const std::string error = ReadDib(file.data() + 14, file.size() - 14, image);
    if (!error.empty()) return error;
    if (offset != 14 + sizeof(BITMAPINFOHEADER) + 4 * image.palette.size())
        return "bfOffBits " + std::to_string(offset);
    return {};
}

// What a page of the pattern looks like in a pixel type: the colours
// themselves, their greys, or black and white.
inline Rgb ExpectedPixel(const PagePattern& pattern, int bitCount, int x, int y) {
    switch (bitCount) {
        case 1:
            return pattern.White(x, y) ? Rgb{255, 255, 255} : Rgb{0, 0, 0};
        case 8: {
            const std::uint8_t grey = pattern.Grey(x, y);
            return Rgb{grey, grey, grey};
        }
        default:
            return pattern.Colour(x, y);
    }
}

// Every pixel compared with the pattern for the face; empty when all agree,
// otherwise the number of wrong pixels and the first of them.
inline std::string CompareWithPattern(const DibImage& image, const PageFace& face) {
    const PagePattern pattern(image.Width(), image.Height(), face);
    long wrong = 0;
    std::string first;
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            const Rgb expected = ExpectedPixel(pattern, image.BitCount(), x, y);
            const Rgb seen = image.Pixel(x, y);
            if (seen == expected) continue;
            if (wrong++ == 0) {
                first = "(" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                        std::to_string(seen.red) + "/" + std::to_string(seen.green) + "/" +
                        std::to_string(seen.blue) + ", not " + std::to_string(expected.red) + "/" +
                        std::to_string(expected.green) + "/" + std::to_string(expected.blue);
            }
        }
    }
    if (wrong == 0) return {};
    return std::to_string(wrong) + " pixels differ from page " + std::to_string(face.number) +
           ", first " + first;
}
