#pragma once

#include "twain_types.h"

// How the source tells the application that images are ready or that it
// wants to be closed. A TWAIN 1.x source on Windows answers such news from
// inside the application's event request, so it posts a message to a hidden
// window of its own on the application's thread; when the application hands
// that message back in DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT, the source
// claims it and answers the notification it carries.
class NotificationWindow {
public:
    NotificationWindow() = default;
    ~NotificationWindow() { Destroy(); }
    NotificationWindow(const NotificationWindow&) = delete;
    NotificationWindow& operator=(const NotificationWindow&) = delete;

    // On the calling thread, the one that pumps the application's messages.
    bool Create(HINSTANCE module);
    void Destroy();
    bool Post(TW_UINT16 notification);
    // Whether message is one of ours; if so, the notification it carries.
    bool Claim(const MSG& message, TW_UINT16& notification) const;

private:
    HINSTANCE module_ = nullptr;
    HWND window_ = nullptr;
};
