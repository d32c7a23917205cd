// The smallest engine a DLL of the natives links against, so that its export
// table can be read.
#include "scan_engine.h"

namespace {

class ProbeEngine : public ScanEngine {
public:
    std::string ListSourceNames() override { return std::string(1, '\0'); }
    bool OpenSourceByName(const char*) override { return false; }
    bool PickDefaultSource() override { return false; }
    bool ApplyPixelType(int) override { return false; }
    bool ApplyResolution(int, int) override { return false; }
    bool ApplyDuplex(bool) override { return false; }
    int SetShowUI(bool) override { return 1; }
    bool RunScan(int) override { return true; }
    int StopScan() override { return 0; }
    bool IsScanning() const override { return false; }
};

}  // namespace

ScanEngine& TheScanEngine() {
    static ProbeEngine engine;
    return engine;
}
