// Many scans through the 64-bit bridge and its worker, against the test
// TWAIN manager in the worker (FAKE_TWAIN_PAGES): once the first scans have
// warmed up what Wine and the C runtimes set up on first use, what the
// worker holds, measured from here, and what this process holds must stay
// where they were. A page left behind per scan is 25 MB.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fake_jvm.h"
#include "process_footprint.h"
#include "scanbridge_dll.h"
#include "worker_processes.h"

namespace {

constexpr int kWarmUpScans = 10;
constexpr int kMeasuredScans = 50;

struct Footprint {
    long long workerKiB;
    long long workerHandles;
    long long ownKiB;
    long long ownHandles;
};

TEST(WorkerLongRun, WhatTheWorkerAndTheJvmHoldStaysWhereItWas) {
    FakeJvm jvm;
    ScanbridgeDll dll("scanbridge.dll");
    ASSERT_TRUE(dll.Loaded());
    JNIEnv* env = jvm.Env();
    const jstring name = jvm.NewString(u"Pages");
    HANDLE worker = nullptr;
    const auto measure = [&] {
        jvm.CollectGarbage();
        return Footprint{static_cast<long long>(CommittedPrivateBytes(worker) / 1024),
                         LiveKernelHandlesOf(worker),
                         static_cast<long long>(CommittedPrivateBytes() / 1024),
                         LiveKernelHandles()};
    };
    Footprint warm{};
    std::size_t pages = 0;
    for (int scan = 0; scan < kWarmUpScans + kMeasuredScans; ++scan) {
        ASSERT_EQ(dll.selectSource(env, jvm.Scan(), name), JNI_TRUE) << "scan " << scan;
        dll.setShowUI(env, jvm.Scan(), JNI_FALSE);
        EXPECT_EQ(dll.scan(env, jvm.Scan(), 1), JNI_TRUE);
        pages += jvm.pages.size();
        jvm.pages.clear();
        if (worker == nullptr) {
            const std::vector<DWORD> workers = WorkersOf(GetCurrentProcessId());
            ASSERT_EQ(workers.size(), 1u);
            worker = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_DUP_HANDLE,
                                 FALSE, workers[0]);
            ASSERT_NE(worker, nullptr);
        }
        if (scan + 1 == kWarmUpScans) warm = measure();
    }
    const Footprint last = measure();
    EXPECT_EQ(pages, static_cast<std::size_t>(kWarmUpScans + kMeasuredScans));
    EXPECT_EQ(WorkersOf(GetCurrentProcessId()).size(), 1u) << "one worker all along";

    constexpr long long kMemoryKiB = 256;
    constexpr long long kWineOwn = 2;
    std::printf(
        "report: worker long run: %d scans (%d of them warm-up) of one A4 page at 300 dpi\n"
        "report: in 24 bits through the 64-bit bridge and its worker\n",
        kWarmUpScans + kMeasuredScans, kWarmUpScans);
    std::printf("report: %-34s %14s %10s %15s\n", "", "after warm-up", "final", "allowed growth");
    const auto row = [](const char* what, long long warmUp, long long final, long long allowed) {
        std::printf("report: %-34s %14lld %10lld %15lld\n", what, warmUp, final, allowed);
    };
    row("worker: committed private KiB", warm.workerKiB, last.workerKiB, kMemoryKiB);
    row("worker: kernel handles", warm.workerHandles, last.workerHandles, kWineOwn);
    row("bridge's process: committed KiB", warm.ownKiB, last.ownKiB, kMemoryKiB);
    row("bridge's process: kernel handles", warm.ownHandles, last.ownHandles, kWineOwn);
    EXPECT_LE(last.workerKiB, warm.workerKiB + kMemoryKiB);
    EXPECT_LE(last.workerHandles, warm.workerHandles + kWineOwn);
    EXPECT_LE(last.ownKiB, warm.ownKiB + kMemoryKiB);
    EXPECT_LE(last.ownHandles, warm.ownHandles + kWineOwn);
    CloseHandle(worker);
    EXPECT_EQ(jvm.violations, std::vector<std::string>{});
}

}  // namespace
