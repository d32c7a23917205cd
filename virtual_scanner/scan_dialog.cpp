#include "scan_dialog.h"

#include "scan_dialog_ids.h"

bool ScanDialog::Open(HINSTANCE module, HWND owner, const std::wstring& settings,
                      NotificationWindow& notifier) {
    Close();
    notifier_ = &notifier;
    // The application's window is only an owner when it lives on this
    // thread; a dialog owned across threads would tie the two queues.
    if (owner != nullptr &&
        (!IsWindow(owner) || GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId()))
        owner = nullptr;
    window_ = CreateDialogParamW(module, MAKEINTRESOURCEW(IDD_SCAN), owner, Procedure,
                                 reinterpret_cast<LPARAM>(this));
    if (window_ == nullptr) return false;
    SetDlgItemTextW(window_, IDC_SETTINGS, settings.c_str());
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
    return true;
}

void ScanDialog::Close() {
    if (window_ == nullptr) return;
    DestroyWindow(window_);
    window_ = nullptr;
}

bool ScanDialog::Handle(MSG& message) {
    return window_ != nullptr && IsDialogMessageW(window_, &message);
}

INT_PTR CALLBACK ScanDialog::Procedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, l);
        return TRUE;
    }
    auto* self = reinterpret_cast<ScanDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (self == nullptr) return FALSE;
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(w) == IDOK) {
                self->notifier_->Post(MSG_XFERREADY);
                return TRUE;
            }
            if (LOWORD(w) == IDCANCEL) {
                self->notifier_->Post(MSG_CLOSEDSREQ);
                return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            // Only the application may close the source; the dialog asks it.
            self->notifier_->Post(MSG_CLOSEDSREQ);
            return TRUE;
        default:
            return FALSE;
    }
}
