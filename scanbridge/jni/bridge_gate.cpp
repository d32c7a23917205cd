#include "bridge_gate.h"

#include <atomic>

namespace {

// The whole state in one word, so that every change is one atomic step:
// a native is inside, that native is a scan, and the number of stop requests
// inside beside the scan. The bridge is free only when the word is 0, so a
// native cannot come in while a stop that began during the last scan is
// still inside the engine.
constexpr unsigned kInside = 1;
constexpr unsigned kScan = 2;
constexpr unsigned kOneStop = 4;

std::atomic<unsigned>& State() {
    static std::atomic<unsigned> state{0};
    return state;
}

bool Enter(unsigned from, unsigned to) {
    return State().compare_exchange_strong(from, to, std::memory_order_acq_rel,
                                           std::memory_order_relaxed);
}

}  // namespace

BridgeEntry::BridgeEntry(Kind kind)
    : admitted_(Enter(0, kind == Kind::Scan ? kInside | kScan : kInside)) {}

BridgeEntry::~BridgeEntry() {
    if (admitted_) State().fetch_and(~(kInside | kScan), std::memory_order_release);
}

StopEntry::StopEntry() : role_(Role::Refused) {
    unsigned seen = State().load(std::memory_order_acquire);
    for (;;) {
        if (seen == 0) {
            if (Enter(0, kInside)) {
                role_ = Role::Alone;
                return;
            }
        } else if ((seen & kScan) != 0) {
            if (Enter(seen, seen + kOneStop)) {
                role_ = Role::BesideScan;
                return;
            }
        } else {
            return;
        }
        // The state changed under us; look again at what it is now.
        seen = State().load(std::memory_order_acquire);
    }
}

StopEntry::~StopEntry() {
    if (role_ == Role::Alone) State().fetch_and(~kInside, std::memory_order_release);
    if (role_ == Role::BesideScan) State().fetch_sub(kOneStop, std::memory_order_release);
}
