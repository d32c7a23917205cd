#include "twain_session.h"

#include <cstring>

namespace {

bool IsEmpty(const TW_IDENTITY& identity) {
    static const TW_IDENTITY empty{};
    return std::memcmp(&identity, &empty, sizeof identity) == 0;
}

}  // namespace

bool TwainSession::OpenCurrentOrDefaultSource() {
    // An empty identity asks the manager for its default source, but Wine's
    // manager hands it on to the source unresolved, and sources refuse it.
    // With the default's own identity in hand, every manager opens it. A
    // manager that names no default may still resolve the empty one.
    if (IsEmpty(sourceIdentity_) && !PickDefaultSource()) sourceIdentity_ = TW_IDENTITY{};
    return OpenDataSource();
}

bool TwainSession::BeginAcquisition(int count, bool showUI) {
    if (!IsSourceOpen() && !OpenCurrentOrDefaultSource()) return false;
    if (!ApplyTransferCount(count)) return false;
    return StartSource(showUI);
}

bool TwainSession::FilterEvent(MSG* message, TW_UINT16* notification) {
    TW_UINT16 ignored = MSG_NULL;
    if (!notification) notification = &ignored;
    *notification = MSG_NULL;
    if (!sourceEnabled_) return false;

    TW_EVENT event{};
    event.pEvent = message;
    event.TWMessage = MSG_NULL;
    // DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT
    DsmCall(&appIdentity_, &sourceIdentity_, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    *notification = event.TWMessage;
    if (lastReturnCode_ != TWRC_DSEVENT) return false;

    OnSourceMessage(event.TWMessage);
    return true;
}

void TwainSession::OnSourceMessage(TW_UINT16 notification) {
    switch (notification) {
        case MSG_XFERREADY:
            RunTransfers();
            break;
        case MSG_CLOSEDSREQ:
            CloseDataSource();
            break;
        default:
            break;
    }
}

void TwainSession::RunTransfers() {
    for (bool more = true; more;) {
        if (!sourceEnabled_) return;
        if (stopRequested_) {
            // Everything delivered so far stays delivered; the source drops
            // the pages it still holds and can then be disabled.
            AbortTransfers();
            return;
        }
        TW_IMAGEINFO info{};
        // DG_IMAGE/DAT_IMAGEINFO/MSG_GET
        if (!DsmCall(&appIdentity_, &sourceIdentity_, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info)) {
            // The source still holds its pending images; releasing them brings
            // it back to where it can be disabled and closed.
            AbortTransfers();
            return;
        }
        more = FetchNativeImage(info);
    }
}

bool TwainSession::FetchNativeImage(const TW_IMAGEINFO& info) {
    HANDLE image = nullptr;
    // DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET
    DsmCall(&appIdentity_, &sourceIdentity_, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &image);
    if (lastReturnCode_ == TWRC_FAILURE) {
        AbortTransfers();
        return false;
    }
    if (lastReturnCode_ == TWRC_XFERDONE) {
        // Only a completed transfer hands the image over to us.
        const NativeImage owned(image);
        OnImage(owned, info);
    }
    return FinishTransfer();
}

bool TwainSession::FinishTransfer() {
    TW_PENDINGXFERS pending{};
    // DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER
    if (!DsmCall(&appIdentity_, &sourceIdentity_, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER,
                 &pending)) {
        return false;
    }
    // 0xFFFF: more images, of a number the source does not know yet.
    return pending.Count != 0;
}

void TwainSession::AbortTransfers() {
    TW_PENDINGXFERS pending{};
    // DG_CONTROL/DAT_PENDINGXFERS/MSG_RESET
    DsmCall(&appIdentity_, &sourceIdentity_, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}

void TwainSession::RequestStop() { stopRequested_ = true; }

void TwainSession::ClearStopRequest() { stopRequested_ = false; }

bool TwainSession::StopRequested() const { return stopRequested_; }
