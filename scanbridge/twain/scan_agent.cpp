#include "scan_agent.h"

ScanAgent::ScanAgent(HWND parent) : TwainSession(parent) {}

ScanAgent::~ScanAgent() { UnloadManager(); }

void ScanAgent::SetShowUI(bool show) { showUI_ = show; }

bool ScanAgent::ShowUI() const { return showUI_; }

void ScanAgent::SetImageHook(ImageHook hook) { imageHook_ = hook; }

bool ScanAgent::AcquireWithSettings(int count) { return BeginAcquisition(count, showUI_); }

void ScanAgent::OnImage(HGLOBAL image, const TW_IMAGEINFO&) {
    if (!imageHook_) return;
    GlobalLockGuard lock(image);
    if (!lock) return;
    // The size lets the receiver refuse a DIB whose header claims more than
    // the source handed over.
    imageHook_(lock.get(), GlobalSize(image));
}
