#include "twain_test_support.h"

#include <cstdio>
#include <cstring>

#include "capability_names.h"

std::vector<DeliveredImage> g_delivered;

namespace {

const char* DatName(TW_UINT16 dat, TW_UINT32 dg) {
    if (dg == DG_IMAGE) {
        switch (dat) {
            case DAT_IMAGEINFO:
                return "IMAGEINFO";
            case DAT_IMAGENATIVEXFER:
                return "IMAGENATIVEXFER";
        }
        return "?";
    }
    switch (dat) {
        case DAT_CAPABILITY:
            return "CAPABILITY";
        case DAT_EVENT:
            return "EVENT";
        case DAT_IDENTITY:
            return "IDENTITY";
        case DAT_PARENT:
            return "PARENT";
        case DAT_PENDINGXFERS:
            return "PENDINGXFERS";
        case DAT_STATUS:
            return "STATUS";
        case DAT_USERINTERFACE:
            return "USERINTERFACE";
    }
    return "?";
}

const char* MsgName(TW_UINT16 msg) {
    switch (msg) {
        case MSG_GET:
            return "GET";
        case MSG_GETDEFAULT:
            return "GETDEFAULT";
        case MSG_GETFIRST:
            return "GETFIRST";
        case MSG_GETNEXT:
            return "GETNEXT";
        case MSG_SET:
            return "SET";
        case MSG_RESET:
            return "RESET";
        case MSG_OPENDSM:
            return "OPENDSM";
        case MSG_CLOSEDSM:
            return "CLOSEDSM";
        case MSG_OPENDS:
            return "OPENDS";
        case MSG_CLOSEDS:
            return "CLOSEDS";
        case MSG_DISABLEDS:
            return "DISABLEDS";
        case MSG_ENABLEDS:
            return "ENABLEDS";
        case MSG_PROCESSEVENT:
            return "PROCESSEVENT";
        case MSG_ENDXFER:
            return "ENDXFER";
    }
    return "?";
}

std::string ItemTypeName(TW_UINT16 type) {
    switch (type) {
        case TWTY_INT16:
            return "INT16";
        case TWTY_UINT16:
            return "UINT16";
        case TWTY_BOOL:
            return "BOOL";
    }
    return "TYPE" + std::to_string(type);
}

}  // namespace

std::string Describe(const FakeTwainRequest& r) {
    std::string line = r.hasDestination ? "ds " : "dsm ";
    line += r.dg == DG_IMAGE ? "IMAGE/" : r.dg == DG_CONTROL ? "CONTROL/" : "?/";
    line += DatName(r.dat, r.dg);
    line += "/";
    line += MsgName(r.msg);
    if (r.dat == DAT_CAPABILITY && r.dg == DG_CONTROL) {
        line += " " + CapName(r.cap);
        if (r.msg == MSG_SET) {
            line += r.conType == TWON_ONEVALUE ? "" : " CONTYPE" + std::to_string(r.conType);
            line += " " + ItemTypeName(r.itemType) + " " + std::to_string(r.value);
        } else if (r.conType == TWON_DONTCARE16) {
            line += " DONTCARE16";
        }
    }
    return line;
}

std::vector<FakeTwainRequest> Recorded() {
    std::vector<FakeTwainRequest> requests(FakeTwain_RequestCount());
    for (UINT i = 0; i < requests.size(); ++i) FakeTwain_GetRequest(i, &requests[i]);
    return requests;
}

std::vector<std::string> Sent() {
    std::vector<std::string> lines;
    for (const FakeTwainRequest& r : Recorded()) lines.push_back(Describe(r));
    return lines;
}

std::vector<unsigned char> SampleDib(unsigned char tag) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = 1;
    header.biHeight = 1;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biSizeImage = 4;
    std::vector<unsigned char> dib(sizeof(header) + 4, 0);
    std::memcpy(dib.data(), &header, sizeof(header));
    dib[sizeof(header)] = tag;
    return dib;
}

void RecordImage(void* dib, std::size_t blockSize) {
    const auto* bytes = static_cast<const unsigned char*>(dib);
    g_delivered.push_back(DeliveredImage{{bytes, bytes + blockSize}, blockSize});
}

void TwainTest::SetUp() {
    FakeTwain_Reset();
    g_delivered.clear();
    window_ = CreateWindowExA(0, "STATIC", "TWAIN test parent", WS_POPUPWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
}

void TwainTest::TearDown() {
    agent_.reset();
    DestroyWindow(window_);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

ScanAgent& TwainTest::Agent() {
    if (!agent_) agent_ = std::make_unique<ScanAgent>(window_);
    return *agent_;
}

void TwainTest::InstallTwoSources() {
    FakeTwain_AddSource("Scanner A", 9, TRUE);
    FakeTwain_AddSource("Scanner B", 9, FALSE);
}

void TwainTest::OpenScannerA() {
    InstallTwoSources();
    ASSERT_TRUE(Agent().OpenSourceByName("Scanner A"));
    FakeTwain_ClearRequests();
}

bool TwainTest::DeliverNotification(bool* handled, TW_UINT16* notification) {
    const UINT notify = FakeTwain_NotifyMessage();
    MSG message;
    if (!PeekMessageA(&message, window_, notify, notify, PM_REMOVE)) return false;
    *handled = Agent().FilterEvent(&message, notification);
    if (!*handled) DispatchMessageA(&message);
    return true;
}
