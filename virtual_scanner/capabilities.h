#pragma once

#include "scan_settings.h"

// The capabilities this source offers and their negotiation: what each one
// answers to the get requests, which values a set request may give it, and
// the containers in which values travel. The source's state decides before
// this whether a request may be made at all.
class Capabilities {
public:
    const ScanSettings& Settings() const { return settings_; }
    // The values a freshly opened source starts from.
    void Reset() { settings_ = ScanSettings{}; }

    // DG_CONTROL/DAT_CAPABILITY/msg. Answers the return code; on failure
    // condition receives why. The containers of the get requests belong to
    // the application afterwards.
    TW_UINT16 Negotiate(TW_UINT16 msg, TW_CAPABILITY& capability, TW_UINT16& condition);

private:
    TW_UINT16 Set(TW_UINT16 cap, const TW_CAPABILITY& capability, TW_UINT16& condition);
    int Current(TW_UINT16 cap) const;
    void Store(TW_UINT16 cap, int value);

    ScanSettings settings_;
};
