#pragma once

#include <string>

#include "notification_window.h"

// The source's own dialog: what the next scan will be like, a Scan button
// that announces the images as ready and a Cancel button (or closing the
// window) that asks the application to close the source. Modeless, as TWAIN
// wants: the application keeps pumping and hands the dialog's messages back
// to the source.
class ScanDialog {
public:
    ScanDialog() = default;
    ~ScanDialog() { Close(); }
    ScanDialog(const ScanDialog&) = delete;
    ScanDialog& operator=(const ScanDialog&) = delete;

    // owner may be null. The notifications go out through notifier, which
    // must outlive the dialog.
    bool Open(HINSTANCE module, HWND owner, const std::wstring& settings,
              NotificationWindow& notifier);
    void Close();
    // Handles message when it is the dialog's (keyboard navigation too).
    bool Handle(MSG& message);

private:
    static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM w, LPARAM l);

    HWND window_ = nullptr;
    NotificationWindow* notifier_ = nullptr;
};
