#include "native_image.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

#include "global_memory.h"

namespace {

NativeImage::Kind Recognise(HANDLE handle) {
    if (handle == nullptr) return NativeImage::Kind::Unknown;
    // The GDI handle table first: it only looks the value up, while a probe
    // of global memory may take a foreign value for the address of a fixed
    // block (Wine's GlobalFlags answers 0 for any aligned value).
    if (GetObjectType(handle) == OBJ_BITMAP) return NativeImage::Kind::Bitmap;
    if (GlobalSize(handle) != 0) return NativeImage::Kind::GlobalBlock;
    return NativeImage::Kind::Unknown;
}

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

}  // namespace

NativeImage::NativeImage(HANDLE handle) : handle_(handle), kind_(Recognise(handle)) {}

NativeImage::~NativeImage() {
    switch (kind_) {
        case Kind::GlobalBlock:
            GlobalFree(handle_);
            break;
        case Kind::Bitmap:
            DeleteObject(handle_);
            break;
        case Kind::Unknown:
            // Not ours to free in any way we know of: GlobalFree or
            // DeleteObject on it could hit someone else's object.
            break;
    }
}

bool NativeImage::Read(void (*receive)(void*, std::size_t)) const {
    switch (kind_) {
        case Kind::GlobalBlock:
            return ReadBlock(receive);
        case Kind::Bitmap:
            return ReadBitmap(receive);
        case Kind::Unknown:
            break;
    }
    return false;
}

bool NativeImage::ReadBlock(void (*receive)(void*, std::size_t)) const {
    GlobalLockGuard lock(handle_);
    if (!lock) return false;
    // The size lets the receiver refuse a DIB whose header claims more than
    // the source handed over.
    receive(lock.get(), GlobalSize(handle_));
    return true;
}

bool NativeImage::ReadBitmap(void (*receive)(void*, std::size_t)) const {
    const auto bitmap = static_cast<HBITMAP>(handle_);
    BITMAP shape{};
    if (GetObjectW(bitmap, sizeof shape, &shape) != sizeof shape) return false;
    const LONG width = shape.bmWidth;
    // A DIB section made top-down reports its height as negative.
    const LONG height = shape.bmHeight < 0 ? -shape.bmHeight : shape.bmHeight;
    const WORD bitCount = shape.bmBitsPixel;
    if (width <= 0 || height <= 0 || bitCount == 0 || bitCount > 32) return false;

    // The same packed DIB a global block would hold: header, a full colour
    // table up to 8 bits per pixel, then the rows.
    const std::uint32_t colours = bitCount <= 8 ? 1u << bitCount : 0u;
    const std::uint64_t rowBytes = (std::uint64_t{bitCount} * std::uint64_t(width) + 31) / 32 * 4;
    const std::uint64_t pixelBytes = rowBytes * std::uint64_t(height);
    const std::uint64_t headBytes = sizeof(BITMAPINFOHEADER) + 4 * std::uint64_t{colours};
    if (pixelBytes > std::numeric_limits<std::int32_t>::max() - headBytes) return false;
    const std::size_t size = static_cast<std::size_t>(headBytes + pixelBytes);
    const std::unique_ptr<unsigned char[]> dib(new (std::nothrow) unsigned char[size]);
    if (!dib) return false;

    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(dib.get());
    *header = BITMAPINFOHEADER{};
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = width;
    header->biHeight = height;  // bottom-up, as a BMP file is read
    header->biPlanes = 1;
    header->biBitCount = bitCount;
    header->biCompression = BI_RGB;
    DIBSECTION section{};
    if (GetObjectW(bitmap, sizeof section, &section) == sizeof section) {
        header->biXPelsPerMeter = section.dsBmih.biXPelsPerMeter;
        header->biYPelsPerMeter = section.dsBmih.biYPelsPerMeter;
    }

    const MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return false;
    const int lines =
        GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(height), dib.get() + headBytes,
                  reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS);
    if (lines != height) return false;
    // GetDIBits may shorten biClrUsed; the table it filled is the full one.
    header->biClrUsed = colours;
    receive(dib.get(), size);
    return true;
}
