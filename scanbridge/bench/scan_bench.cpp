// How long a scan through scanbridge.dll takes against the test TWAIN
// manager, next to the pauses the scan prescribes for itself: 100 ms after
// each notification of the source, and the drain's 1 ms pauses between its
// 31 empty polls. What is left is the bridge's own cost: the TWAIN requests,
// the BMP packaging and the hand-over to Java. Figures only.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fake_jvm.h"
#include "fake_twain.h"
#include "scanbridge_dll.h"

namespace {

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
    const auto start = std::chrono::steady_clock::now();
    Sleep(100);
    for (int i = 0; i < 31; ++i) Sleep(1);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

double ScanMs(const ScanbridgeDll& dll, FakeJvm& jvm, int pages) {
    const std::vector<unsigned char> page = A4Page();
    for (int i = 0; i < pages; ++i) {
        FakeTwain_AddImage(page.data(), static_cast<UINT>(page.size()), TWRC_XFERDONE,
                           static_cast<TW_UINT16>(pages - 1 - i));
    }
    FakeTwain_PostNotification(MSG_XFERREADY);
    jvm.pages.clear();
    jvm.pages.reserve(static_cast<std::size_t>(pages));
    const auto start = std::chrono::steady_clock::now();
    dll.scan(jvm.Env(), jvm.Scan(), pages);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (jvm.pages.size() != static_cast<std::size_t>(pages)) {
        std::printf("bench: %d of %d pages arrived\n", static_cast<int>(jvm.pages.size()), pages);
    }
    return ms;
}

// One copy of a page, for scale: the test manager copies each page into the
// block it hands over, and the stand-in JVM zeroes its new array and keeps a
// copy of what it received, so a page costs the bridge's own work plus about
// three such copies that a real driver and JVM would not all make.
double PageCopyMs() {
    const std::vector<unsigned char> page = A4Page();
    std::vector<unsigned char> copy(page.size());
    double best = 1e12;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(copy.data(), page.data(), page.size());
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        if (ms < best) best = ms;
    }
    return best;
}

}  // namespace

int main() {
    FakeJvm jvm;
    FakeTwain_Reset();
    FakeTwain_AddSource("Bench", 5, TRUE);
    ScanbridgeDll dll("scanbridge.dll");
    if (!dll.Loaded()) {
        std::printf("bench: scanbridge.dll did not load\n");
        return 1;
    }
    const double prescribed = PrescribedMs();
    std::printf("scan through the test manager, A4 300 dpi 24-bit pages (%ld x %ld)\n", kWidth,
                kHeight);
    std::printf("%-10s %12s %16s %12s %14s\n", "pages", "total ms", "prescribed ms", "overhead ms",
                "per page ms");
    for (int pages : {1, 10}) {
        ScanMs(dll, jvm, pages);  // warm-up: first touches of memory
        double best = 1e12;
        for (int run = 0; run < 3; ++run) {
            const double ms = ScanMs(dll, jvm, pages);
            if (ms < best) best = ms;
        }
        const double overhead = best - prescribed;
        std::printf("%-10d %12.1f %16.1f %12.1f %14.1f\n", pages, best, prescribed, overhead,
                    overhead / pages);
    }
    std::printf("one memcpy of a page: %.1f ms\n", PageCopyMs());
    return 0;
}
