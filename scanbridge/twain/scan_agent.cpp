#include "scan_agent.h"

ScanAgent::ScanAgent(HWND parent) : TwainSession(parent) {}

ScanAgent::~ScanAgent() { UnloadManager(); }

void ScanAgent::SetShowUI(bool show) { showUI_ = show; }

bool ScanAgent::ShowUI() const { return showUI_; }

void ScanAgent::SetImageHook(ImageHook hook) { imageHook_ = hook; }

bool ScanAgent::AcquireWithSettings(int count) { return BeginAcquisition(count, showUI_); }

void ScanAgent::OnImage(const NativeImage& image, const TW_IMAGEINFO&) {
    // An image that cannot be read is lost; the batch goes on.
    if (imageHook_) image.Read(imageHook_);
}
