// Any block may come back from a driver's native transfer. The block is
// copied into memory of exactly its size, so that AddressSanitizer sees any
// read past it while the BMP file is put together the way the delivery does.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "bmp_packaging.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::unique_ptr<unsigned char[]> block(new unsigned char[size]);
    if (size != 0) std::memcpy(block.get(), data, size);

    const auto layout = MeasureDib(block.get(), size);
    const std::int32_t fileSize = BmpFileSize(block.get(), size);
    if (!layout) {
        FUZZ_CHECK(fileSize == -1);
        return 0;
    }
    FUZZ_CHECK(fileSize > 0 && static_cast<std::uint32_t>(fileSize) == layout->fileSize);
    FUZZ_CHECK(layout->fileSize >= kBmpFileHeaderSize + 40);
    FUZZ_CHECK(layout->DibBytes() <= size);
    FUZZ_CHECK(layout->pixelOffset <= layout->fileSize);
    FUZZ_CHECK(layout->fileSize - layout->pixelOffset == layout->pixelBytes);

    StoreSizeImage(block.get(), *layout);
    std::vector<unsigned char> file(layout->fileSize);
    const auto header = BmpFileHeader(*layout);
    std::memcpy(file.data(), header.data(), header.size());
    std::memcpy(file.data() + kBmpFileHeaderSize, block.get(), layout->DibBytes());
    FUZZ_CHECK(file[0] == 'B' && file[1] == 'M');
    return 0;
}
