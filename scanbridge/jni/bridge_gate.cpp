#include "bridge_gate.h"

#include <atomic>

namespace {

// The whole state in one word, so that every change is one atomic step: a
// native is inside; that native is a scan; the scan has reached the engine;
// a stop came before it did; and the number of stop requests inside the
// engine beside the scan. The bridge is free only when the word is 0, so a
// native cannot come in while a stop that began during the last scan is
// still inside the engine.
constexpr unsigned kInside = 1;
constexpr unsigned kScan = 2;
constexpr unsigned kInEngine = 4;
constexpr unsigned kStopNoted = 8;
constexpr unsigned kOneStop = 16;

std::atomic<unsigned>& State() {
    static std::atomic<unsigned> state{0};
    return state;
}

bool Change(unsigned from, unsigned to) {
    return State().compare_exchange_strong(from, to, std::memory_order_acq_rel,
                                           std::memory_order_relaxed);
}

}  // namespace

BridgeEntry::BridgeEntry(Kind kind)
    : admitted_(Change(0, kind == Kind::Scan ? kInside | kScan : kInside)) {}

BridgeEntry::~BridgeEntry() {
    if (admitted_)
        State().fetch_and(~(kInside | kScan | kInEngine | kStopNoted), std::memory_order_release);
}

bool BridgeEntry::StartEngineUnlessStopped() {
    for (;;) {
        const unsigned seen = State().load(std::memory_order_acquire);
        if ((seen & kStopNoted) != 0) return false;
        if (Change(seen, seen | kInEngine)) return true;
    }
}

StopEntry::StopEntry() : way_(Way::Refused) {
    for (;;) {
        const unsigned seen = State().load(std::memory_order_acquire);
        if (seen == 0) {
            if (Change(0, kInside)) {
                way_ = Way::Alone;
                return;
            }
        } else if ((seen & kInEngine) != 0) {
            if (Change(seen, seen + kOneStop)) {
                way_ = Way::BesideScan;
                return;
            }
        } else if ((seen & kScan) != 0) {
            if (Change(seen, seen | kStopNoted)) {
                way_ = Way::Noted;
                return;
            }
        } else {
            return;
        }
        // The state changed under us; look again at what it is now.
    }
}

StopEntry::~StopEntry() {
    if (way_ == Way::Alone)
        State().fetch_and(~kInside, std::memory_order_release);
    else if (way_ == Way::BesideScan)
        State().fetch_sub(kOneStop, std::memory_order_release);
}
