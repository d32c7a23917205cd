#pragma once

#include "capabilities.h"
#include "notification_window.h"
#include "page_format.h"
#include "scan_dialog.h"

// The protocol side of the virtual scanner: its TWAIN states and what each
// request does in each of them. Every request answers a TWAIN return code;
// a failure leaves its condition code for DG_CONTROL/DAT_STATUS/MSG_GET. A
// request that the current state does not allow fails with TWCC_SEQERROR and
// changes nothing. The pages themselves come from the page renderer.
class VirtualSource {
public:
    // TWAIN states of a source.
    enum State { kClosed = 3, kOpen = 4, kEnabled = 5, kTransferReady = 6, kTransferring = 7 };

    explicit VirtualSource(HINSTANCE module) : module_(module) {}

    State CurrentState() const { return state_; }

    // Requests that are not answered at all fail with this.
    TW_UINT16 Unsupported();
    TW_UINT16 BadData();

    TW_UINT16 GetIdentity(TW_IDENTITY& identity);
    TW_UINT16 OpenDs(const TW_IDENTITY& self);
    TW_UINT16 CloseDs();
    TW_UINT16 GetStatus(TW_STATUS& status);
    TW_UINT16 EnableDs(const TW_USERINTERFACE& ui);
    TW_UINT16 DisableDs();
    TW_UINT16 ProcessEvent(TW_EVENT& event);
    TW_UINT16 Capability(TW_UINT16 msg, TW_CAPABILITY& capability);
    TW_UINT16 GetPendingTransfers(TW_PENDINGXFERS& pending);
    TW_UINT16 EndTransfer(TW_PENDINGXFERS& pending);
    TW_UINT16 ResetTransfers(TW_PENDINGXFERS& pending);
    TW_UINT16 GetImageInfo(TW_IMAGEINFO& info);
    TW_UINT16 NativeTransfer(TW_HANDLE& image);

private:
    TW_UINT16 Fail(TW_UINT16 condition);
    TW_UINT16 Succeed();
    bool In(State lowest, State highest) const { return state_ >= lowest && state_ <= highest; }
    void BeginTransfers();
    int ImagesLeft() const { return imagesTotal_ - imageIndex_; }

    HINSTANCE module_;
    State state_ = kClosed;
    TW_UINT16 condition_ = TWCC_SUCCESS;
    TW_IDENTITY self_{};
    Capabilities capabilities_;
    NotificationWindow notifier_;
    ScanDialog dialog_;
    PageFormat format_;
    int imagesTotal_ = 0;
    int imageIndex_ = 0;
};
