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

    // One complete, synchronous scan; every page reaches the image hook on the
    // calling thread before this returns.
    virtual bool RunScan(int count) = 0;
    virtual int StopScan() = 0;
    virtual bool IsScanning() const = 0;
};

// The engine of this library.
ScanEngine& TheScanEngine();
