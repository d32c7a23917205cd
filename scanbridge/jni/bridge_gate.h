#pragma once

// Only one Java thread at a time may be inside the bridge: the TWAIN session,
// the scan manager and the Java context of a scan have no locks of their own,
// and the TWAIN manager expects every call on one thread. A native that finds
// the bridge busy (another thread is inside, or its own thread is, from a
// callback of its scan) does nothing and gives its failure answer. Nobody
// waits here: the thread that would wait may well be the one the scan is
// calling back, and it would wait for ever.

// One native's stay inside the bridge, from construction to destruction.
class BridgeEntry {
public:
    enum class Kind {
        Call,  // a native that returns without calling into Java
        Scan,  // a scan, which calls back into Java and may be asked to stop
    };

    explicit BridgeEntry(Kind kind = Kind::Call);
    ~BridgeEntry();
    BridgeEntry(const BridgeEntry&) = delete;
    BridgeEntry& operator=(const BridgeEntry&) = delete;

    // Whether the native may go on; false when the bridge was busy.
    bool Admitted() const { return admitted_; }

    // For a scan, just before it hands over to the engine: answers false when
    // a stop came first, while the scan was still in fireStartScanning. From
    // here on stop requests go to the engine.
    bool StartEngineUnlessStopped();

private:
    bool admitted_;
};

// A stop request's stay inside the bridge.
class StopEntry {
public:
    enum class Way {
        // Another native is inside: no scan runs that could be stopped, and
        // closing the source beneath that native would race with it.
        Refused,
        // The bridge was free: no scan runs, and this thread is the only one
        // inside, so the engine's stop may close an open source here.
        Alone,
        // A scan is inside the engine: the engine takes the stop as a
        // request, which the scanning thread carries out.
        BesideScan,
        // The scan has not reached the engine yet; it will not start, and
        // the scanning thread itself tells the engine.
        Noted,
    };

    StopEntry();
    ~StopEntry();
    StopEntry(const StopEntry&) = delete;
    StopEntry& operator=(const StopEntry&) = delete;

    Way way() const { return way_; }

private:
    Way way_;
};
