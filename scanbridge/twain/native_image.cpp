#include "native_image.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>

#include "global_memory.h"

namespace {

bool IsBitmap(HANDLE handle) {
    // GDI finds an object by the low word of the value alone and, under
    // Wine, takes a high word of 0 for the object in that slot, while every
    // handle GDI gives out carries its type in the high word. Kernel handles
    // are small multiples of 4: with enough GDI objects alive one of them
    // names a live slot, and the bitmap there belongs to someone else.
    if (HIWORD(reinterpret_cast<UINT_PTR>(handle)) == 0) return false;
    // A kernel object is never a bitmap, whatever GDI finds in the slot.
    DWORD flags = 0;
    if (GetHandleInformation(handle, &flags)) return false;
    return GetObjectType(handle) == OBJ_BITMAP;
}

NativeImage::Kind Recognise(HANDLE handle) {
    if (handle == nullptr) return NativeImage::Kind::Unknown;
    // The heap's own records first: GlobalSize answers only for a block the
    // heap knows (a movable handle from its handle table, or the address of
    // a live fixed block) and 0 for anything else.
    if (GlobalSize(handle) != 0) return NativeImage::Kind::GlobalBlock;
    // GlobalFlags answers 0, "valid", for any aligned value, and
    // GMEM_INVALID_HANDLE alone for a foreign one, so only its discarded bit,
    // which only a real movable block can carry, counts.
    if ((GlobalFlags(handle) & GMEM_DISCARDED) != 0) return NativeImage::Kind::DiscardedBlock;
    if (IsBitmap(handle)) return NativeImage::Kind::Bitmap;
    return NativeImage::Kind::Unknown;
}

// Masks that say no more than BI_RGB does for that depth (Wine reports them
// for every 16- and 32-bit section).
bool IsPlainRgb(const DWORD (&masks)[3], WORD bitCount) {
    if (bitCount == 16) return masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F;
    return masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
}

struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter>;

// The header GetDIBits fills, with room for the masks or the colour table
// that follow it.
struct DibRequest {
    BITMAPINFOHEADER header;
    DWORD table[256];
};

}  // namespace

NativeImage::NativeImage(HANDLE handle) : handle_(handle), kind_(Recognise(handle)) {}

NativeImage::~NativeImage() {
    switch (kind_) {
        case Kind::GlobalBlock:
        case Kind::DiscardedBlock:
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

std::size_t NativeImage::Bytes() const {
    switch (kind_) {
        case Kind::GlobalBlock:
            return GlobalSize(handle_);
        case Kind::Bitmap: {
            BITMAP shape{};
            if (GetObjectW(static_cast<HBITMAP>(handle_), sizeof shape, &shape) != sizeof shape)
                return 0;
            return static_cast<std::size_t>(shape.bmWidthBytes) *
                   static_cast<std::size_t>(shape.bmHeight);
        }
        case Kind::DiscardedBlock:
        case Kind::Unknown:
            break;
    }
    return 0;
}

bool NativeImage::Read(void (*receive)(void*, std::size_t)) const {
    switch (kind_) {
        case Kind::GlobalBlock:
            return ReadBlock(receive);
        case Kind::Bitmap:
            return ReadBitmap(receive);
        case Kind::DiscardedBlock:
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
    const LONG height = shape.bmHeight;
    const WORD bitCount = shape.bmBitsPixel;
    if (width <= 0 || height <= 0 || bitCount == 0 || bitCount > 32) return false;

    // A DIB section keeps its own pixel format; a device-dependent bitmap
    // has none and is read as plain RGB of its depth.
    DIBSECTION section{};
    const bool isSection = GetObjectW(bitmap, sizeof section, &section) == sizeof section;
    const bool bitfields = isSection && section.dsBmih.biCompression == BI_BITFIELDS &&
                           (bitCount == 16 || bitCount == 32) &&
                           !IsPlainRgb(section.dsBitfields, bitCount);

    // The same packed DIB a global block would hold: header, the masks of a
    // bit-field format or a full colour table up to 8 bits per pixel, then
    // the rows.
    const std::uint32_t colours = bitCount <= 8 ? 1u << bitCount : 0u;
    const std::uint32_t tableBytes = bitfields ? 3 * sizeof(DWORD) : 4 * colours;
    const std::uint64_t rowBytes = (std::uint64_t{bitCount} * std::uint64_t(width) + 31) / 32 * 4;
    const std::uint64_t pixelBytes = rowBytes * std::uint64_t(height);
    const std::uint64_t headBytes = sizeof(BITMAPINFOHEADER) + std::uint64_t{tableBytes};
    if (pixelBytes > std::numeric_limits<std::int32_t>::max() - headBytes) return false;
    const std::size_t size = static_cast<std::size_t>(headBytes + pixelBytes);
    const std::unique_ptr<unsigned char[]> dib(new (std::nothrow) unsigned char[size]);
    if (!dib) return false;

    DibRequest request{};
    BITMAPINFOHEADER& header = request.header;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    // Bottom-up, as a BMP file is read, whichever way the section runs.
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = bitfields ? BI_BITFIELDS : BI_RGB;
    if (bitfields) std::memcpy(request.table, section.dsBitfields, sizeof section.dsBitfields);
    if (isSection) {
        header.biXPelsPerMeter = section.dsBmih.biXPelsPerMeter;
        header.biYPelsPerMeter = section.dsBmih.biYPelsPerMeter;
    }

    const MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!dc) return false;
    const int lines =
        GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(height), dib.get() + headBytes,
                  reinterpret_cast<BITMAPINFO*>(&request), DIB_RGB_COLORS);
    if (lines != height) return false;
    // GetDIBits may shorten biClrUsed; the table it filled is the full one.
    header.biClrUsed = colours;
    header.biSizeImage = static_cast<DWORD>(pixelBytes);
    std::memcpy(dib.get(), &request, static_cast<std::size_t>(headBytes));
    receive(dib.get(), size);
    return true;
}
