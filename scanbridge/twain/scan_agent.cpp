#include "scan_agent.h"

#include <string>

#include "trace.h"

ScanAgent::ScanAgent(HWND parent) : TwainSession(parent) {}

ScanAgent::~ScanAgent() { UnloadManager(); }

void ScanAgent::SetShowUI(bool show) { showUI_ = show; }

bool ScanAgent::ShowUI() const { return showUI_; }

void ScanAgent::SetImageHook(ImageHook hook) { imageHook_ = hook; }

bool ScanAgent::AcquireWithSettings(int count) { return BeginAcquisition(count, showUI_); }

namespace {

const char* KindName(NativeImage::Kind kind) {
    switch (kind) {
        case NativeImage::Kind::GlobalBlock:
            return "global block";
        case NativeImage::Kind::DiscardedBlock:
            return "discarded block";
        case NativeImage::Kind::Bitmap:
            return "bitmap";
        case NativeImage::Kind::Unknown:
            break;
    }
    return "unknown handle";
}

}  // namespace

void ScanAgent::OnImage(const NativeImage& image, const TW_IMAGEINFO& info) {
    bool read = false;
    // An image that cannot be read is lost; the batch goes on.
    if (imageHook_) read = image.Read(imageHook_);
    if (trace::On()) {
        trace::Line(std::string("image ") + KindName(image.kind()) + ", " +
                    std::to_string(info.ImageWidth) + " x " + std::to_string(info.ImageLength) +
                    ", " + std::to_string(info.BitsPerPixel) + " bits, " +
                    std::to_string(image.Bytes()) + " bytes" +
                    (read ? ", handed over" : ", nothing to hand over"));
    }
}
