#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// How a packed DIB (header, optional bit-field masks, colour table, pixel rows)
// becomes the bytes of a BMP file: a 14-byte file header followed by the DIB.
// Pure arithmetic on the DIB's bytes, so it can be proven anywhere.

constexpr std::size_t kBmpFileHeaderSize = 14;

struct BmpLayout {
    std::uint32_t pixelBytes;   // what biSizeImage says, or what the rows take
    std::uint32_t pixelOffset;  // bfOffBits: file header + DIB header + masks + colours
    std::uint32_t fileSize;     // bfSize: the whole BMP file
    bool storeSizeImage;        // an uncompressed DIB gets its computed size written back

    std::uint32_t DibBytes() const {
        return fileSize - static_cast<std::uint32_t>(kBmpFileHeaderSize);
    }
};

// The layout of the DIB at dib, or nothing when the DIB cannot be packaged
// without reading past the blockSize bytes that hold it.
std::optional<BmpLayout> MeasureDib(const void* dib, std::size_t blockSize);

// The size of the BMP file for the DIB, or -1 when it cannot be determined.
std::int32_t BmpFileSize(const void* dib, std::size_t blockSize);

std::array<unsigned char, kBmpFileHeaderSize> BmpFileHeader(const BmpLayout& layout);

// Makes the DIB's own header agree with the layout before it is handed on.
void StoreSizeImage(void* dib, const BmpLayout& layout);
