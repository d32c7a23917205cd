// How long a scan through scanbridge.dll takes against the test TWAIN
// manager and the tests' own Java environment, and how much of it is the
// bridge's own work: the pauses the scan prescribes for itself are taken
// out, the time the test doubles spend inside their own functions is taken
// out, and what is left of each page's delivery is set beside one memcpy of
// the page. Figures only.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fake_jvm.h"
#include "fake_twain.h"
#include "lock_clock.h"
#include "manager_clock.h"
#include "scanbridge_dll.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); }

// A4 at 300 dpi, 24 bits.
constexpr LONG kWidth = 2480;
constexpr LONG kHeight = 3508;

std::vector<unsigned char> A4Page() {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = kWidth;
    header.biHeight = kHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;
    const std::size_t row = ((kWidth * 24 + 31) / 32) * 4;
    std::vector<unsigned char> dib(sizeof(header) + row * kHeight);
    std::memcpy(dib.data(), &header, sizeof(header));
    for (std::size_t i = sizeof(header); i < dib.size(); ++i)
        dib[i] = static_cast<unsigned char>(i);
    return dib;
}

// The pauses one scan with a single notification must take: the 100 ms
// after it and the drain's 31 pauses of Sleep(1), measured here, since a
// Sleep(1) lasts what the system's timer makes of it.
double PrescribedMs() {
    const auto start = Clock::now();
    Sleep(100);
    for (int i = 0; i < 31; ++i) Sleep(1);
    return Ms(Clock::now() - start);
}

// One scan, taken apart. Per page, averaged over the scan's pages.
struct ScanFigures {
    double totalMs = 0;    // the scan native, from call to return
    double managerMs = 0;  // inside the test manager's entry, all told
    double jvmMs = 0;      // inside the stand-in JVM, all told
    double spanMs = 0;     // from the locked block to fireNewImage entered
    double spanJvmMs = 0;  // of that span, inside the stand-in JVM
    double bridgeMs = 0;   // of that span, the rest: the bridge's own
};

ScanFigures Scan(const ScanbridgeDll& dll, FakeJvm& jvm, const std::vector<unsigned char>& page,
                 int pages) {
    for (int i = 0; i < pages; ++i) {
        FakeTwain_AddImage(page.data(), static_cast<UINT>(page.size()), TWRC_XFERDONE,
                           static_cast<TW_UINT16>(pages - 1 - i));
    }
    FakeTwain_PostNotification(MSG_XFERREADY);
    jvm.pages.clear();
    jvm.pages.reserve(static_cast<std::size_t>(pages));
    jvm.pageTimings.clear();
    TakeLockTimes();
    const auto jvmBefore = jvm.timeInside;
    const auto managerBefore = TimeInManager();
    const auto start = Clock::now();
    dll.scan(jvm.Env(), jvm.Scan(), pages);
    ScanFigures figures;
    figures.totalMs = Ms(Clock::now() - start);
    figures.managerMs = Ms(TimeInManager() - managerBefore) / pages;
    figures.jvmMs = Ms(jvm.timeInside - jvmBefore) / pages;
    if (jvm.pages.size() != static_cast<std::size_t>(pages) ||
        jvm.pageTimings.size() != static_cast<std::size_t>(pages)) {
        std::printf("bench: %d of %d pages arrived\n", static_cast<int>(jvm.pages.size()), pages);
    }

    // Each page's span opens at the last lock before its array was asked
    // for: the bridge locks the block it was handed and goes straight to the
    // delivery.
    const std::vector<Clock::time_point> locks = TakeLockTimes();
    for (const FakeJvm::PageTiming& timing : jvm.pageTimings) {
        const auto after = std::upper_bound(locks.begin(), locks.end(), timing.arrayAsked);
        if (after == locks.begin()) continue;
        const Clock::duration span = timing.callbackEntered - *(after - 1);
        figures.spanMs += Ms(span) / pages;
        figures.spanJvmMs += Ms(timing.insideJvm) / pages;
        figures.bridgeMs += Ms(span - timing.insideJvm) / pages;
    }
    jvm.pages.clear();
    jvm.CollectGarbage();
    return figures;
}

// One copy of a page into memory that is already mapped, for scale.
double PageCopyMs() {
    const std::vector<unsigned char> page = A4Page();
    std::vector<unsigned char> copy(page.size(), 1);
    double best = 1e12;
    for (int run = 0; run < 5; ++run) {
        const auto start = Clock::now();
        std::memcpy(copy.data(), page.data(), page.size());
        best = std::min(best, Ms(Clock::now() - start));
    }
    return best;
}

// The best of five scans of this many pages, with the library loaded afresh
// with or without SCANBRIDGE_TRACE.
double BestScanMs(FakeJvm& jvm, const std::vector<unsigned char>& page, int pages,
                  const char* trace) {
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", trace);
    const ScanbridgeDll dll("scanbridge.dll");
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", nullptr);
    double best = 1e12;
    for (int run = 0; run < 5; ++run) best = std::min(best, Scan(dll, jvm, page, pages).totalMs);
    return best;
}

}  // namespace

int main() {
    FakeJvm jvm;
    FakeTwain_Reset();
    FakeTwain_AddSource("Bench", 5, TRUE);
    // Each with a library of its own, before the one the figures below hook.
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string tracePath = std::string(temp) + "scan_bench_trace.txt";
    double untraced[2], traced[2];
    {
        const std::vector<unsigned char> page = A4Page();
        for (int i = 0; i < 2; ++i) {
            const int pages = i == 0 ? 1 : 10;
            DeleteFileA(tracePath.c_str());
            untraced[i] = BestScanMs(jvm, page, pages, nullptr);
            traced[i] = BestScanMs(jvm, page, pages, tracePath.c_str());
        }
    }
    // Before the bridge looks the manager's entry up, which it does on load.
    if (!ClockManagerEntry(GetModuleHandleA("TWAIN_32.dll"))) {
        std::printf("bench: the test manager exports no entry\n");
        return 1;
    }
    const ScanbridgeDll dll("scanbridge.dll");
    if (!dll.Loaded()) {
        std::printf("bench: scanbridge.dll did not load\n");
        return 1;
    }
    if (!ClockGlobalLocks(GetModuleHandleA("scanbridge.dll"))) {
        std::printf("bench: scanbridge.dll does not import GlobalLock\n");
        return 1;
    }
    const std::vector<unsigned char> page = A4Page();
    const double prescribed = PrescribedMs();
    std::vector<ScanFigures> bests;
    for (int pages : {1, 10}) {
        Scan(dll, jvm, page, pages);  // warm-up
        ScanFigures best;
        best.totalMs = 1e12;
        for (int run = 0; run < 3; ++run) {
            const ScanFigures figures = Scan(dll, jvm, page, pages);
            if (figures.totalMs < best.totalMs) best = figures;
        }
        bests.push_back(best);
    }

    std::printf("scans of A4 pages at 300 dpi in 24 bits (%ld x %ld, %zu bytes), best of 3:\n",
                kWidth, kHeight, page.size());
    std::printf("%-6s %10s %14s %12s\n", "pages", "total ms", "prescribed ms", "overhead ms");
    for (std::size_t i = 0; i < bests.size(); ++i) {
        const int pages = i == 0 ? 1 : 10;
        std::printf("%-6d %10.1f %14.1f %12.1f\n", pages, bests[i].totalMs, prescribed,
                    bests[i].totalMs - prescribed);
    }
    std::printf("per page of those scans, ms:\n");
    std::printf("%-6s %9s %13s %13s %9s | %9s %8s %15s\n", "pages", "overhead", "test manager",
                "stand-in JVM", "bridge", "span", "its JVM", "bridge's share");
    for (std::size_t i = 0; i < bests.size(); ++i) {
        const int pages = i == 0 ? 1 : 10;
        const ScanFigures& f = bests[i];
        const double overhead = (f.totalMs - prescribed) / pages;
        std::printf("%-6d %9.1f %13.1f %13.1f %9.1f | %9.2f %8.2f %15.3f\n", pages, overhead,
                    f.managerMs, f.jvmMs, overhead - f.managerMs - f.jvmMs, f.spanMs, f.spanJvmMs,
                    f.bridgeMs);
    }
    std::printf("one memcpy of a page: %.1f ms\n", PageCopyMs());
    std::printf("the same scans without and with SCANBRIDGE_TRACE, best of 5, ms:\n");
    for (int i = 0; i < 2; ++i) {
        std::printf("  %2d pages: %8.1f without, %8.1f with the trace\n", i == 0 ? 1 : 10,
                    untraced[i], traced[i]);
    }
    // The in-process counterpart of the 64-bit bridge's round trip below.
    constexpr int kCalls = 2000;
    const auto callsStart = Clock::now();
    for (int i = 0; i < kCalls; ++i) dll.setShowUI(jvm.Env(), jvm.Scan(), JNI_FALSE);
    std::printf("setShowUI in-process: %.2f us, mean of %d\n",
                Ms(Clock::now() - callsStart) * 1000 / kCalls, kCalls);
    std::printf(
        "  total: the scan native from call to return. prescribed: the pauses a scan takes\n"
        "    by design (100 ms after the notification, the drain's 31 Sleep(1)), measured\n"
        "    alone. overhead: total - prescribed.\n"
        "  test manager: inside the test TWAIN manager's entry: the copy of the page into\n"
        "    each block it hands over, with the first touches of that memory, and its\n"
        "    records of every request.\n"
        "  stand-in JVM: inside the stand-in JVM's functions: zeroing each new array,\n"
        "    copying the page into it, keeping a copy of it in fireNewImage.\n"
        "  bridge: the rest of the overhead, the bridge's own work with Wine's under it:\n"
        "    the message pump, the TWAIN requests, recognising, locking and freeing each\n"
        "    block (returning its memory to the system), and building each page.\n"
        "  span: from the return of the bridge's GlobalLock on the block it was handed\n"
        "    (caught in its import table) to the entry of fireNewImage.\n"
        "  its JVM: of the span, inside the stand-in JVM: NewByteArray's zeroing,\n"
        "    SetByteArrayRegion's copies, the exception checks, the callback's look-up.\n"
        "  bridge's share: span - its JVM: the bridge's own part of handing a page over,\n"
        "    sizing the DIB, the BMP file header, and making those calls.\n");
    return 0;
}
