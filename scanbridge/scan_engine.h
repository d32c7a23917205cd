#pragma once

#include <string>

// What the Java natives ask of the scanner. The library's ScanManager is the
// one real engine; keeping the natives behind this seam lets the JNI glue run
// in a real JVM on a host where TWAIN does not exist.
class ScanEngine {
public:
    virtual ~ScanEngine() = default;

    // The installed sources' product names, each followed by a zero byte, the
    // whole closed by one more zero byte (a lone zero byte when there are none).
    virtual std::string ListSourceNames() = 0;
    // name: ANSI bytes, compared byte for byte with the product names.
    virtual bool OpenSourceByName(const char* name) = 0;
    virtual bool PickDefaultSource() = 0;

    virtual bool ApplyPixelType(int type) = 0;
    virtual bool ApplyResolution(int x, int y) = 0;
    virtual bool ApplyDuplex(bool on) = 0;
    virtual int SetShowUI(bool show) = 0;

    // A scan was admitted, on the thread that will run it, before anything
    // else of it happens and while no stop request can reach the engine:
    // stop requests of earlier scans are forgotten, and IsScanning answers
    // true from here on.
    virtual void BeginScan() = 0;
    // One complete, synchronous scan; every page reaches the image hook on the
    // calling thread before this returns.
    virtual bool RunScan(int count) = 0;
    // A stop while no scan runs, on the only thread inside the bridge: closes
    // an open source.
    virtual int StopScan() = 0;
    // A stop of the scan that runs, from any thread and at any moment from
    // BeginScan until the scan native returns, also from inside its image
    // hook: the scan ends from its own thread, before its source is started
    // if it has not been yet, after the current page if pages flow. Nothing
    // of TWAIN happens on the calling thread.
    virtual int RequestStop() = 0;
    virtual bool IsScanning() const = 0;
};

// The engine of this library.
ScanEngine& TheScanEngine();
