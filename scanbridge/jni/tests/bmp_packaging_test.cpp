#include "bmp_packaging.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Dib {
    std::uint32_t headerSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t sizeImage = 0;
    std::uint32_t clrUsed = 0;
};

template <typename T>
void Put(std::vector<unsigned char>& bytes, std::size_t at, T value) {
    std::memcpy(bytes.data() + at, &value, sizeof value);
}

template <typename T>
T Get(const unsigned char* bytes, std::size_t at) {
    T value;
    std::memcpy(&value, bytes + at, sizeof value);
    return value;
}

// A block of exactly blockSize bytes that starts with the header.
std::vector<unsigned char> Block(const Dib& dib, std::size_t blockSize) {
    std::vector<unsigned char> bytes(std::max<std::size_t>(blockSize, 40));
    Put(bytes, 0, dib.headerSize);
    Put(bytes, 4, dib.width);
    Put(bytes, 8, dib.height);
    Put(bytes, 12, std::uint16_t{1});
    Put(bytes, 14, dib.bitCount);
    Put(bytes, 16, dib.compression);
    Put(bytes, 20, dib.sizeImage);
    Put(bytes, 32, dib.clrUsed);
    bytes.resize(blockSize);
    return bytes;
}

constexpr std::size_t kRoomy = 1 << 16;

struct Case {
    const char* what;
    Dib dib;
    std::size_t blockSize;
    std::int32_t fileSize;  // -1: skipped
    std::uint32_t pixelOffset;
};

const Case kCases[] = {
    // Plain 40-byte DIBs: offset 4 x colours + 54, size image + offset.
    {"1 bit, no clrUsed: two colours", {40, 8, 1, 1}, kRoomy, 62 + 4, 62},
    {"8 bits with clrUsed 16", {40, 4, 1, 8, 0, 0, 16}, kRoomy, 118 + 4, 118},
    {"8 bits without clrUsed: 256 colours", {40, 4, 2, 8}, kRoomy, 1078 + 8, 1078},
    {"4 bits, odd width pads the row", {40, 9, 3, 4}, kRoomy, 118 + 3 * 8, 118},
    {"24 bits 3 x 2: rows of 12", {40, 3, 2, 24}, kRoomy, 78, 54},
    {"24 bits with clrUsed keeps its table", {40, 3, 2, 24, 0, 0, 4}, kRoomy, 94, 70},
    {"32 bits", {40, 2, 2, 32}, kRoomy, 54 + 16, 54},
    {"compressed takes biSizeImage", {40, 100, 100, 8, 1, 500}, kRoomy, 1078 + 500, 1078},
    {"compressed without biSizeImage", {40, 100, 100, 8, 1, 0}, kRoomy, -1, 0},
    {"zero height: headers only", {40, 3, 0, 24}, kRoomy, 54, 54},

    // Bit-field masks and longer headers move the pixels.
    {"32-bit bitfields after 40 bytes", {40, 2, 2, 32, 3, 16}, kRoomy, 66 + 16, 66},
    {"16-bit bitfields after 40 bytes", {40, 2, 2, 16, 3, 8}, kRoomy, 66 + 8, 66},
    {"alpha bitfields after 40 bytes", {40, 2, 2, 32, 6, 16}, kRoomy, 70 + 16, 70},
    {"bitfields without biSizeImage: rows", {40, 3, 2, 16, 3, 0}, kRoomy, 66 + 16, 66},
    {"bitfields rows beyond the block", {40, 3, 2, 16, 3, 0}, 40 + 12 + 15, -1, 0},
    {"V4 header", {108, 3, 2, 24}, kRoomy, 122 + 24, 122},
    {"V4 header, masks inside", {108, 2, 2, 32, 3, 16}, kRoomy, 122 + 16, 122},
    {"V5 header, 8 bits", {124, 4, 1, 8}, kRoomy, 138 + 1024 + 4, 138 + 1024},

    // Top-down rows count as many as bottom-up ones.
    {"24 bits top-down", {40, 3, -2, 24}, kRoomy, 78, 54},
    {"1 bit top-down", {40, 8, -3, 1}, kRoomy, 62 + 12, 62},

    // Never beyond the block, whatever the header says.
    {"exactly the block", {40, 3, 2, 24}, 64, 78, 54},
    {"one byte short of the block", {40, 3, 2, 24}, 63, -1, 0},
    {"block shorter than a header", {40, 3, 2, 24}, 39, -1, 0},
    {"header shorter than 40 bytes", {12, 3, 2, 24}, kRoomy, -1, 0},
    {"header longer than the block", {0x7fffffff, 1, 1, 24}, kRoomy, -1, 0},
    {"huge clrUsed", {40, 1, 1, 8, 0, 0, 0xffffffff}, kRoomy, -1, 0},
    {"huge biSizeImage", {40, 1, 1, 8, 1, 0xffffffff}, kRoomy, -1, 0},
    {"negative width", {40, -3, 2, 24}, kRoomy, -1, 0},
    {"width x bits overflows 32 bits", {40, 0x7fffffff, 1, 32}, kRoomy, -1, 0},
    {"rows x height overflow", {40, 0x10000, 0x10000, 32}, kRoomy, -1, 0},
    {"most negative height", {40, 1, INT32_MIN, 32}, kRoomy, -1, 0},
    {"bit count beyond reason", {40, 0x7fffffff, 0x7fffffff, 0xffff}, kRoomy, -1, 0},
};

class BmpPackaging : public testing::TestWithParam<Case> {};

TEST_P(BmpPackaging, SizesAndOffsets) {
    const Case& c = GetParam();
    const auto block = Block(c.dib, c.blockSize);
    EXPECT_EQ(BmpFileSize(block.data(), block.size()), c.fileSize);
    const auto layout = MeasureDib(block.data(), block.size());
    ASSERT_EQ(layout.has_value(), c.fileSize != -1);
    if (!layout) return;
    EXPECT_EQ(layout->pixelOffset, c.pixelOffset);
    EXPECT_LE(layout->DibBytes(), block.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, BmpPackaging, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* at = info.param.what; *at; ++at)
                                 name += std::isalnum(static_cast<unsigned char>(*at)) ? *at : '_';
                             return name;
                         });

TEST(BmpFileHeader, IsTheFourteenBytesOfTheTable) {
    const auto block = Block({40, 3, 2, 24}, 64);
    const auto layout = MeasureDib(block.data(), block.size());
    ASSERT_TRUE(layout);
    const auto header = BmpFileHeader(*layout);
    const unsigned char expected[14] = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(header.data(), expected, sizeof expected));
}

TEST(StoreSizeImage, WritesTheComputedSizeOfAnUncompressedDib) {
    auto block = Block({40, 3, -2, 24, 0, 999}, 64);
    const auto layout = MeasureDib(block.data(), block.size());
    ASSERT_TRUE(layout);
    StoreSizeImage(block.data(), *layout);
    EXPECT_EQ(Get<std::uint32_t>(block.data(), 20), 24u);
    EXPECT_EQ(Get<std::int32_t>(block.data(), 8), -2) << "the rows keep their order";
}

TEST(StoreSizeImage, WritesTheComputedSizeOfBitfieldsThatLackIt) {
    auto block = Block({40, 3, 2, 16, 3, 0}, kRoomy);
    const auto layout = MeasureDib(block.data(), block.size());
    ASSERT_TRUE(layout);
    StoreSizeImage(block.data(), *layout);
    EXPECT_EQ(Get<std::uint32_t>(block.data(), 20), 16u);
}

TEST(StoreSizeImage, LeavesACompressedDibAlone) {
    auto block = Block({40, 100, 100, 8, 1, 500}, kRoomy);
    const auto layout = MeasureDib(block.data(), block.size());
    ASSERT_TRUE(layout);
    StoreSizeImage(block.data(), *layout);
    EXPECT_EQ(Get<std::uint32_t>(block.data(), 20), 500u);
}

}  // namespace
