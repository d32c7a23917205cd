#include "notification_window.h"

namespace {

constexpr wchar_t kClassName[] = L"KorveloVirtualScannerNotifications";
// A window class of our own, so the range above WM_APP is ours too.
constexpr UINT kNotificationMessage = WM_APP + 0x51;

}  // namespace

bool NotificationWindow::Create(HINSTANCE module) {
    Destroy();
    WNDCLASSW type{};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = module;
    type.lpszClassName = kClassName;
    // Registered for the life of the window only: a manager may unload the
    // source afterwards, and a class left behind would point into nothing.
    if (!RegisterClassW(&type) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;
    module_ = module;
    window_ =
        CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
    if (window_ == nullptr) {
        UnregisterClassW(kClassName, module_);
        module_ = nullptr;
        return false;
    }
    return true;
}

void NotificationWindow::Destroy() {
    if (window_ == nullptr) return;
    DestroyWindow(window_);
    window_ = nullptr;
    UnregisterClassW(kClassName, module_);
    module_ = nullptr;
}

bool NotificationWindow::Post(TW_UINT16 notification) {
    return window_ != nullptr && PostMessageW(window_, kNotificationMessage, notification, 0);
}

bool NotificationWindow::Claim(const MSG& message, TW_UINT16& notification) const {
    if (window_ == nullptr || message.hwnd != window_ || message.message != kNotificationMessage)
        return false;
    notification = static_cast<TW_UINT16>(message.wParam);
    return true;
}
