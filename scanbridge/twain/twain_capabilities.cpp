#include "twain_session.h"

static_assert(sizeof(TW_ONEVALUE) == 6, "TW_ONEVALUE must keep its 2-byte packed layout");

bool TwainSession::ApplyOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT16 value) {
    if (!IsSourceOpen()) return false;
    const auto fill = [&](unsigned char* bytes) {
        auto* oneValue = reinterpret_cast<pTW_ONEVALUE>(bytes);
        oneValue->ItemType = itemType;
        oneValue->Item = value;
    };
    const GlobalBlock container = NewGlobalBlock(sizeof(TW_ONEVALUE), fill);
    if (!container) return false;
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_ONEVALUE;
    capability.hContainer = container.get();
    // DG_CONTROL/DAT_CAPABILITY/MSG_SET
    return DsmCall(&appIdentity_, &sourceIdentity_, DG_CONTROL, DAT_CAPABILITY, MSG_SET,
                   &capability);
}

bool TwainSession::ApplyCapability(TW_UINT16 cap, TW_UINT16 value, bool isSigned) {
    return ApplyOneValue(cap, isSigned ? TWTY_INT16 : TWTY_UINT16, value);
}

bool TwainSession::ApplyBoolCapability(TW_UINT16 cap, TW_UINT16 value) {
    return ApplyOneValue(cap, TWTY_BOOL, value);
}

bool TwainSession::QueryCapability(TW_UINT16 cap, TW_UINT32& value) {
    if (!IsSourceOpen()) return false;
    TW_CAPABILITY capability{};
    capability.Cap = cap;
    capability.ConType = TWON_DONTCARE16;
    // DG_CONTROL/DAT_CAPABILITY/MSG_GET
    if (!DsmCall(&appIdentity_, &sourceIdentity_, DG_CONTROL, DAT_CAPABILITY, MSG_GET,
                 &capability)) {
        return false;
    }
    // The container is ours now, whatever it holds. It is read as a one-value
    // container, but only when it is large enough to be one.
    GlobalBlock container(capability.hContainer);
    if (GlobalSize(container.get()) < sizeof(TW_ONEVALUE)) return false;
    GlobalLockGuard lock(container.get());
    if (!lock) return false;
    value = static_cast<pTW_ONEVALUE>(lock.get())->Item;
    return true;
}

bool TwainSession::ApplyTransferCount(int count) {
    // Signed, so that -1 (all pages) reaches the source as 0xFFFF.
    if (ApplyCapability(CAP_XFERCOUNT, static_cast<TW_UINT16>(count), true)) return true;
    // TWRC_CHECKSTATUS: the source took a value of its own; confirm that one.
    if (lastReturnCode_ != TWRC_CHECKSTATUS) return false;
    TW_UINT32 current = 0;
    if (!QueryCapability(CAP_XFERCOUNT, current)) return false;
    return ApplyCapability(CAP_XFERCOUNT, static_cast<TW_UINT16>(current), false);
}

bool TwainSession::ApplyPixelType(int type) {
    return ApplyCapability(ICAP_PIXELTYPE, static_cast<TW_UINT16>(type), false);
}

bool TwainSession::ApplyResolution(int x, int y) {
    // Whole dots per inch in 16 bits: as a 32-bit item that is a TW_FIX32 with
    // no fraction. All three requests go out whatever the earlier ones answer,
    // so the page size is set even on a source that refuses a resolution.
    const bool xSet = ApplyCapability(ICAP_XRESOLUTION, static_cast<TW_UINT16>(x), false);
    const bool ySet = ApplyCapability(ICAP_YRESOLUTION, static_cast<TW_UINT16>(y), false);
    const bool sizeSet = ApplyCapability(ICAP_SUPPORTEDSIZES, TWSS_A4LETTER, false);
    return xSet && ySet && sizeSet;
}

bool TwainSession::ApplyDuplex(bool on) {
    return ApplyBoolCapability(CAP_DUPLEXENABLED, on ? 1 : 0);
}
