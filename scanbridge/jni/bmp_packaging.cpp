#include "bmp_packaging.h"

#include <cstring>
#include <limits>

namespace {

// Field places in BITMAPINFOHEADER; the later header versions only append.
constexpr std::size_t kBiSize = 0;
constexpr std::size_t kBiWidth = 4;
constexpr std::size_t kBiHeight = 8;
constexpr std::size_t kBiBitCount = 14;
constexpr std::size_t kBiCompression = 16;
constexpr std::size_t kBiSizeImage = 20;
constexpr std::size_t kBiClrUsed = 32;
constexpr std::uint32_t kInfoHeaderSize = 40;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

// A Java byte array is indexed by a signed 32-bit number.
constexpr std::uint64_t kLargestFile = std::numeric_limits<std::int32_t>::max();

template <typename T>
T Read(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void Write(unsigned char* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

// Only a plain 40-byte header is followed by the masks; the longer headers
// carry them inside.
std::uint64_t MaskBytes(std::uint32_t headerSize, std::uint32_t compression) {
    if (headerSize != kInfoHeaderSize) return 0;
    if (compression == kBiBitfields) return 12;
    if (compression == kBiAlphaBitfields) return 16;
    return 0;
}

// Rows are padded to whole 32-bit words; a top-down DIB (negative height)
// has as many rows as a bottom-up one.
std::optional<std::uint64_t> RowBytes(std::int32_t width, std::int32_t height,
                                      std::uint16_t bitCount) {
    if (width < 0) return std::nullopt;
    const std::uint64_t stride = (std::uint64_t{bitCount} * std::uint64_t(width) + 31) / 32 * 4;
    const std::uint64_t rows = height < 0 ? std::uint64_t(-std::int64_t{height}) : height;
    if (stride != 0 && rows > kLargestFile / stride) return std::nullopt;
    return stride * rows;
}

}  // namespace

std::optional<BmpLayout> MeasureDib(const void* dib, std::size_t blockSize) {
    if (dib == nullptr || blockSize < kInfoHeaderSize) return std::nullopt;
    const auto* bytes = static_cast<const unsigned char*>(dib);

    const auto headerSize = Read<std::uint32_t>(bytes + kBiSize);
    const auto width = Read<std::int32_t>(bytes + kBiWidth);
    const auto height = Read<std::int32_t>(bytes + kBiHeight);
    const auto bitCount = Read<std::uint16_t>(bytes + kBiBitCount);
    const auto compression = Read<std::uint32_t>(bytes + kBiCompression);
    const auto sizeImage = Read<std::uint32_t>(bytes + kBiSizeImage);
    const auto clrUsed = Read<std::uint32_t>(bytes + kBiClrUsed);
    if (headerSize < kInfoHeaderSize) return std::nullopt;

    std::uint64_t colours = clrUsed;
    if (colours == 0 && bitCount <= 8) colours = std::uint64_t{1} << bitCount;

    std::uint64_t pixelBytes = sizeImage;
    // Bit-field pixels are plain rows too, so a driver that leaves their size
    // 0 still delivers a page whose size is known.
    const bool bitfields = compression == kBiBitfields || compression == kBiAlphaBitfields;
    const bool computed = compression == kBiRgb || (bitfields && sizeImage == 0);
    if (computed) {
        const auto rows = RowBytes(width, height, bitCount);
        if (!rows) return std::nullopt;
        pixelBytes = *rows;
    } else if (pixelBytes == 0) {
        return std::nullopt;
    }

    const std::uint64_t dibHead =
        std::uint64_t{headerSize} + MaskBytes(headerSize, compression) + 4 * colours;
    const std::uint64_t dibBytes = dibHead + pixelBytes;
    if (dibBytes > blockSize || dibBytes + kBmpFileHeaderSize > kLargestFile) return std::nullopt;

    return BmpLayout{static_cast<std::uint32_t>(pixelBytes),
                     static_cast<std::uint32_t>(kBmpFileHeaderSize + dibHead),
                     static_cast<std::uint32_t>(kBmpFileHeaderSize + dibBytes), computed};
}

std::int32_t BmpFileSize(const void* dib, std::size_t blockSize) {
    const auto layout = MeasureDib(dib, blockSize);
    return layout ? static_cast<std::int32_t>(layout->fileSize) : -1;
}

std::array<unsigned char, kBmpFileHeaderSize> BmpFileHeader(const BmpLayout& layout) {
    std::array<unsigned char, kBmpFileHeaderSize> header{};
    header[0] = 'B';
    header[1] = 'M';
    Write<std::uint32_t>(header.data() + 2, layout.fileSize);
    Write<std::uint32_t>(header.data() + 10, layout.pixelOffset);
    return header;
}

void StoreSizeImage(void* dib, const BmpLayout& layout) {
    if (!layout.storeSizeImage) return;
    Write<std::uint32_t>(static_cast<unsigned char*>(dib) + kBiSizeImage, layout.pixelBytes);
}
