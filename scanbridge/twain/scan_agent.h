#pragma once

#include <cstddef>

#include "twain_session.h"

// Receives each transferred page as a packed DIB in memory (the source's
// block, locked, or the rows of its bitmap) and the number of bytes that
// hold it, so that nothing reads past them. The memory is valid during the
// call only.
using ImageHook = void (*)(void* dib, std::size_t size);

// The session this library actually runs: it remembers whether the source's
// own dialog is to be shown and hands every image to the image hook.
class ScanAgent : public TwainSession {
public:
    // Loads and opens the manager at once, with parent as its window.
    explicit ScanAgent(HWND parent);
    ~ScanAgent() override;

    void SetShowUI(bool show);
    bool ShowUI() const;
    // nullptr drops the images.
    void SetImageHook(ImageHook hook);
    bool AcquireWithSettings(int count);

protected:
    void OnImage(const NativeImage& image, const TW_IMAGEINFO& info) override;

private:
    bool showUI_ = true;
    ImageHook imageHook_ = nullptr;
};
