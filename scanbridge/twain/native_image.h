#pragma once

#include <windows.h>

#include <cstddef>

// What a completed native transfer hands over. TWAIN asks for a movable
// global block holding a packed DIB, and that is what most sources give;
// some (Wine's gphoto2.ds among them) give a GDI bitmap, a DIB section,
// instead. Either way the receiver takes it over and must give it back in the
// way that fits it, and a handle that is neither must not be given back as
// either.
class NativeImage {
public:
    enum class Kind {
        GlobalBlock,
        // A movable block whose memory was discarded: nothing to read, but
        // the handle is still ours to free.
        DiscardedBlock,
        Bitmap,
        Unknown,
    };

    // Takes over the handle; it is recognised once, here.
    explicit NativeImage(HANDLE handle);
    // Frees a global block, deletes a bitmap, leaves anything else alone.
    ~NativeImage();
    NativeImage(const NativeImage&) = delete;
    NativeImage& operator=(const NativeImage&) = delete;

    Kind kind() const { return kind_; }
    // What the handle holds: a block's size, a bitmap's pixel bytes, 0 else.
    std::size_t Bytes() const;

    // Calls receive with the image as a packed DIB in memory and the number
    // of bytes that hold it; the memory is valid during the call only. A
    // bitmap's rows arrive bottom-up, as GetDIBits gives them, in its own
    // pixel format. Answers false, without calling, when the image cannot be
    // read.
    bool Read(void (*receive)(void* dib, std::size_t size)) const;

private:
    bool ReadBlock(void (*receive)(void*, std::size_t)) const;
    bool ReadBitmap(void (*receive)(void*, std::size_t)) const;

    HANDLE handle_;
    Kind kind_;
};
