// What the 64-bit bridge's way through its worker costs: the hand-over of an
// A4 colour page at 300 dpi, from the end of its transfer in the worker's
// TWAIN manager (the test manager, FAKE_TWAIN_PAGES) to fireNewImage entered
// in this process, beside its floor; and the round trip of a native that
// only asks the worker. Figures only.

// clang-format off
#include <windows.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "fake_jvm.h"
#include "pipe_channel.h"
#include "scanbridge_dll.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration span) { return std::chrono::duration<double, std::milli>(span).count(); }

constexpr int kScans = 5;
constexpr int kPagesPerScan = 3;
constexpr std::size_t kPageBytes = 14 + 40 + 7440 * 3508;
constexpr int kRoundTrips = 2000;

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The floor of a page's hand-over between two processes: a zeroed array of
// the page's size, as the JVM's new byte[] gives, and two copies of the page.
double FloorMs() {
    const std::vector<unsigned char> page(kPageBytes, 7);
    std::vector<unsigned char> shared(kPageBytes, 1);
    std::vector<double> runs;
    for (int run = 0; run < 7; ++run) {
        const auto start = Clock::now();
        std::vector<unsigned char> array(kPageBytes);
        std::memcpy(shared.data(), page.data(), kPageBytes);
        std::memcpy(array.data(), shared.data(), kPageBytes);
        runs.push_back(Ms(Clock::now() - start));
        if (array[kPageBytes / 2] != 7) std::printf("bench: the copies went wrong\n");
    }
    return Median(runs);
}

// The performance counter's readings in this program's steady clock.
struct CounterClock {
    LARGE_INTEGER frequency{};
    LARGE_INTEGER counter0{};
    Clock::time_point steady0;
    CounterClock() {
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&counter0);
        steady0 = Clock::now();
    }
    Clock::time_point At(LONGLONG counter) const {
        const double seconds = static_cast<double>(counter - counter0.QuadPart) /
                               static_cast<double>(frequency.QuadPart);
        return steady0 +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    }
};

std::vector<LONGLONG> TransferEnds(const std::string& log) {
    std::vector<LONGLONG> ends;
    std::ifstream in(log);
    std::string word;
    while (in >> word) {
        if (word != "transferred") continue;
        unsigned long high = 0, low = 0;
        in >> high >> low;
        ends.push_back(static_cast<LONGLONG>(high) << 32 | low);
    }
    return ends;
}

// The same round trip with nothing but the pipe: a message and its answer
// between two threads of this process over a pipe like the bridge's, so the
// system's own cost of a crossing shows apart from the bridge's.
double PipeRoundTripUs() {
    const wchar_t* name = L"\\\\.\\pipe\\scanbridge-bench-floor";
    const HANDLE server = CreateNamedPipeW(
        name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
    const HANDLE client = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    if (server == INVALID_HANDLE_VALUE || client == INVALID_HANDLE_VALUE) return -1;
    PipeChannel front(server);
    PipeChannel back(client);
    std::thread echo([&] {
        for (int i = 0; i < kRoundTrips; ++i) {
            if (!back.Receive() || !back.Send(MakeMessage(MessageKind::Answer, 1))) return;
        }
    });
    const auto start = Clock::now();
    for (int i = 0; i < kRoundTrips; ++i) {
        front.Send(MakeMessage(MessageKind::ShowUI, 0));
        front.Receive();
    }
    const double us = Ms(Clock::now() - start) * 1000 / kRoundTrips;
    echo.join();
    return us;
}

}  // namespace

int main() {
    char log[MAX_PATH] = {};
    if (GetEnvironmentVariableA("FAKE_TWAIN_LOG", log, MAX_PATH) == 0) {
        std::printf("bench: FAKE_TWAIN_LOG names no file\n");
        return 1;
    }
    DeleteFileA(log);
    const CounterClock counter;
    FakeJvm jvm;
    std::vector<FakeJvm::PageTiming> timings;
    double roundTripUs = 0, startMs = 0, localUs = 0;
    {
        const ScanbridgeDll dll("scanbridge.dll");
        if (!dll.Loaded()) {
            std::printf("bench: scanbridge.dll did not load\n");
            return 1;
        }
        JNIEnv* env = jvm.Env();
        jobject self = jvm.Scan();
        const auto started = Clock::now();
        dll.setShowUI(env, self, JNI_FALSE);  // starts the worker
        startMs = Ms(Clock::now() - started);

        auto start = Clock::now();
        for (int i = 0; i < kRoundTrips; ++i) dll.setShowUI(env, self, JNI_FALSE);
        roundTripUs = Ms(Clock::now() - start) * 1000 / kRoundTrips;
        start = Clock::now();
        for (int i = 0; i < kRoundTrips; ++i) dll.isScanning(env, self);
        localUs = Ms(Clock::now() - start) * 1000 / kRoundTrips;

        for (int scan = 0; scan < kScans; ++scan) {
            if (dll.selectSource(env, self, jvm.NewString(u"Pages")) != JNI_TRUE) {
                std::printf("bench: the worker's manager has no source \"Pages\"\n");
                return 1;
            }
            dll.scan(env, self, kPagesPerScan);
            timings.insert(timings.end(), jvm.pageTimings.begin(), jvm.pageTimings.end());
            jvm.pageTimings.clear();
            jvm.pages.clear();
            jvm.CollectGarbage();
        }
    }  // released: the worker ends, and its manager writes its log

    const std::vector<LONGLONG> ends = TransferEnds(log);
    if (ends.size() != timings.size() || timings.size() != kScans * kPagesPerScan) {
        std::printf("bench: %zu pages arrived, the manager handed over %zu\n", timings.size(),
                    ends.size());
        return 1;
    }
    std::vector<double> delivery, jvmShare, own;
    for (std::size_t i = 0; i < timings.size(); ++i) {
        const double total = Ms(timings[i].callbackEntered - counter.At(ends[i]));
        delivery.push_back(total);
        jvmShare.push_back(Ms(timings[i].insideJvm));
        own.push_back(total - Ms(timings[i].insideJvm));
    }
    const double floor = FloorMs();
    const double median = Median(delivery);
    std::printf(
        "64-bit bridge through its 32-bit worker, A4 at 300 dpi in 24 bits (%zu bytes),\n"
        "median of %d pages:\n",
        kPageBytes, kScans * kPagesPerScan);
    std::printf("  delivery of a page          %8.2f ms\n", median);
    std::printf("    in the stand-in JVM       %8.2f ms\n", Median(jvmShare));
    std::printf("    the bridge's own          %8.2f ms\n", Median(own));
    std::printf("  floor                       %8.2f ms\n", floor);
    std::printf("  delivery / floor            %8.2f   (target <= 1.1)\n", median / floor);
    std::printf("  round trip of setShowUI     %8.1f us (target <= 200), mean of %d\n", roundTripUs,
                kRoundTrips);
    std::printf("    the pipe alone, in-process  %8.1f us\n", PipeRoundTripUs());
    std::printf("  isScanning, answered here   %8.2f us\n", localUs);
    std::printf("  first request, with the worker's start  %.0f ms\n", startMs);
    std::printf(
        "  delivery: from the return of the manager's transfer request in the worker to\n"
        "    fireNewImage entered here: the worker sizes the DIB and writes the BMP file\n"
        "    into the scan's file mapping (made at its first page and kept for the rest),\n"
        "    the page message crosses the pipe, this side maps the mapping (at the first\n"
        "    page) and makes the Java array from it.\n"
        "  in the stand-in JVM: NewByteArray's zeroing and SetByteArrayRegion's copy.\n"
        "  floor: a zeroed array of the page's size and two copies of the page, here.\n"
        "  round trip: a native whose answer comes from the worker, which only stores the\n"
        "    setting; nothing of TWAIN. The pipe alone: the same message and answer between\n"
        "    two threads of this process, the system's own cost of two crossings.\n");
    return 0;
}
