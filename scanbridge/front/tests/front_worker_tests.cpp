// The 64-bit scanbridge.dll and its 32-bit worker, with Wine's own manager
// and the virtual scanner installed as its sane.ds: stops from every side,
// a worker that dies, and the worker's lifetime beside the process that
// started it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fake_jvm.h"
#include "trace_reader.h"
#include "scanbridge_dll.h"
#include "virtual_scanner_installed.h"
#include "worker_processes.h"

namespace {

// The scanner's dialog once it is shown, or null after timeoutMs.
HWND AwaitDialog(DWORD timeoutMs = 60000) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        HWND dialog = FindWindowW(L"#32770", kDialogCaption);
        if (dialog != nullptr && IsWindowVisible(dialog)) return dialog;
        Sleep(20);
    }
    return nullptr;
}

struct Child {
    PROCESS_INFORMATION process{};
    HANDLE output = nullptr;  // its standard output and error
    ~Child() {
        if (process.hProcess != nullptr) {
            TerminateProcess(process.hProcess, 1);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        if (output != nullptr) CloseHandle(output);
    }
    // What it wrote until it closed its output.
    std::string ReadAll() {
        std::string text;
        char buffer[512];
        DWORD got = 0;
        while (ReadFile(output, buffer, sizeof(buffer), &got, nullptr) && got > 0)
            text.append(buffer, got);
        return text;
    }
    std::string ReadLine() {
        std::string text;
        char c = 0;
        DWORD got = 0;
        while (ReadFile(output, &c, 1, &got, nullptr) && got == 1 && c != '\n')
            if (c != '\r') text += c;
        return text;
    }
};

std::unique_ptr<Child> StartChild(const std::wstring& program, const std::wstring& mode) {
    auto child = std::make_unique<Child>();
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE write = nullptr;
    if (!CreatePipe(&child->output, &write, &inheritable, 0)) return nullptr;
    SetHandleInformation(child->output, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring commandLine = L"\"" + program + L"\" " + mode;
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    const BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, folder.c_str(), &startup, &child->process);
    CloseHandle(write);
    if (!started) return nullptr;
    return child;
}

class FrontAndWorker : public ::testing::Test {
protected:
    void SetUp() override {
        dll_ = std::make_unique<ScanbridgeDll>("scanbridge.dll");
        ASSERT_TRUE(dll_->Loaded());
    }
    void TearDown() override {
        dll_.reset();
        EXPECT_EQ(WorkersOf(GetCurrentProcessId()), std::vector<DWORD>{})
            << "releasing the library ends its worker";
        EXPECT_EQ(jvm_.violations, std::vector<std::string>{});
    }
    void SelectScanner() {
        ASSERT_EQ(dll_->selectSource(jvm_.Env(), jvm_.Scan(), jvm_.NewString(kScannerName)),
                  JNI_TRUE);
    }
    JNIEnv* Env() { return jvm_.Env(); }
    jobject Self() { return jvm_.Scan(); }

    FakeJvm jvm_;
    std::unique_ptr<ScanbridgeDll> dll_;
};

TEST_F(FrontAndWorker, AStopFromInsideFireNewImageEndsTheBatchAfterThatPage) {
    SelectScanner();
    dll_->setShowUI(Env(), Self(), JNI_FALSE);
    int stopAnswer = -1;
    jvm_.onCallback = [&](const std::string& method) {
        if (method == "fireNewImage" && stopAnswer == -1)
            stopAnswer = dll_->stopScanning(Env(), Self());
    };

    EXPECT_EQ(dll_->scan(Env(), Self(), 3), JNI_TRUE);

    EXPECT_EQ(stopAnswer, 1);
    EXPECT_EQ(jvm_.calls,
              (std::vector<std::string>{"fireStartScanning", "fireNewImage", "fireStopScanning"}));
    EXPECT_EQ(dll_->isScanning(Env(), Self()), JNI_FALSE);
}

TEST_F(FrontAndWorker, AStopFromAnotherThreadClosesTheDialogAndOthersAreRefusedMeanwhile) {
    SelectScanner();
    dll_->setShowUI(Env(), Self(), JNI_TRUE);
    std::atomic<int> scanningSeen{-1}, dpiAnswer{-1}, stopAnswer{-1};
    std::thread other([&] {
        if (AwaitDialog() == nullptr) return;
        scanningSeen = dll_->isScanning(Env(), Self());
        dpiAnswer = dll_->setDPI(Env(), Self(), 300, 300);
        stopAnswer = dll_->stopScanning(Env(), Self());
    });

    EXPECT_EQ(dll_->scan(Env(), Self(), 1), JNI_TRUE);
    other.join();

    EXPECT_EQ(scanningSeen, JNI_TRUE);
    EXPECT_EQ(dpiAnswer, JNI_FALSE) << "the bridge is busy with the scan";
    EXPECT_EQ(stopAnswer, 1);
    EXPECT_EQ(jvm_.calls, (std::vector<std::string>{"fireStartScanning", "fireStopScanning"}));
    EXPECT_EQ(FindWindowW(L"#32770", kDialogCaption), nullptr) << "the stop closed the source";
}

TEST_F(FrontAndWorker, AWorkerThatDiesMidScanEndsTheScanAndTheNextCallStartsAFreshOne) {
    SelectScanner();
    dll_->setShowUI(Env(), Self(), JNI_TRUE);
    DWORD killed = 0;
    std::thread killer([&] {
        HWND dialog = AwaitDialog();
        if (dialog == nullptr) return;
        GetWindowThreadProcessId(dialog, &killed);
        const HANDLE worker = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, killed);
        TerminateProcess(worker, 9);
        WaitForSingleObject(worker, INFINITE);
        CloseHandle(worker);
    });

    EXPECT_EQ(dll_->scan(Env(), Self(), 1), JNI_FALSE) << "a scan cut short is no success";
    killer.join();

    ASSERT_NE(killed, 0u);
    EXPECT_EQ(jvm_.calls, (std::vector<std::string>{"fireStartScanning", "fireStopScanning"}));
    EXPECT_EQ(dll_->isScanning(Env(), Self()), JNI_FALSE);
    // A fresh worker, with a fresh source: the settings went with the old one.
    SelectScanner();
    const std::vector<DWORD> workers = WorkersOf(GetCurrentProcessId());
    ASSERT_EQ(workers.size(), 1u);
    EXPECT_NE(workers[0], killed);
    dll_->setShowUI(Env(), Self(), JNI_FALSE);
    jvm_.calls.clear();
    EXPECT_EQ(dll_->scan(Env(), Self(), 2), JNI_TRUE);
    EXPECT_EQ(jvm_.pages.size(), 2u);
}

TEST_F(FrontAndWorker, OneWorkerServesTheLibraryUntilItIsReleased) {
    jvm_.DeleteLocal(dll_->getAvailableSources(Env(), Self()));
    SelectScanner();
    const std::vector<DWORD> workers = WorkersOf(GetCurrentProcessId());
    ASSERT_EQ(workers.size(), 1u);
    const HANDLE worker =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, workers[0]);
    ASSERT_NE(worker, nullptr);

    dll_.reset();

    // Ended by the release itself, on its own: it closed its source and
    // manager and returned.
    EXPECT_EQ(WaitForSingleObject(worker, 0), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(worker, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(worker);
    dll_ = std::make_unique<ScanbridgeDll>("scanbridge.dll");
}

TEST(WorkerLifetime, AKilledHostTakesItsWorkerWithItWithinASecond) {
    auto host = StartChild(ProgramFolder() + L"front64_host_child.exe", L"wait");
    ASSERT_NE(host, nullptr);
    ASSERT_EQ(host->ReadLine(), "ready");
    const std::vector<DWORD> workers = WorkersOf(host->process.dwProcessId);
    ASSERT_EQ(workers.size(), 1u);
    const HANDLE worker = OpenProcess(SYNCHRONIZE, FALSE, workers[0]);
    ASSERT_NE(worker, nullptr);

    TerminateProcess(host->process.hProcess, 1);
    const auto killedAt = std::chrono::steady_clock::now();

    EXPECT_EQ(WaitForSingleObject(worker, 1000), WAIT_OBJECT_0);
    const auto took = std::chrono::steady_clock::now() - killedAt;
    std::printf("report: the worker ended %lld ms after its host was killed\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    CloseHandle(worker);
}

TEST(WorkerLifetime, TwoHostsAtOnceEachScanWithAWorkerOfTheirOwn) {
    auto first = StartChild(ProgramFolder() + L"front64_host_child.exe", L"scan");
    auto second = StartChild(ProgramFolder() + L"front64_host_child.exe", L"scan");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    const std::string one = first->ReadAll();
    const std::string two = second->ReadAll();

    unsigned long workerOne = 0, workerTwo = 0;
    int pagesOne = -1, pagesTwo = -1, answerOne = -1, answerTwo = -1;
    ASSERT_EQ(std::sscanf(one.c_str(), "pages %d worker %lu answer %d", &pagesOne, &workerOne,
                          &answerOne),
              3)
        << one;
    ASSERT_EQ(std::sscanf(two.c_str(), "pages %d worker %lu answer %d", &pagesTwo, &workerTwo,
                          &answerTwo),
              3)
        << two;
    EXPECT_EQ(pagesOne, 2);
    EXPECT_EQ(pagesTwo, 2);
    EXPECT_EQ(answerOne, 1);
    EXPECT_EQ(answerTwo, 1);
    EXPECT_NE(workerOne, 0u);
    EXPECT_NE(workerTwo, 0u);
    EXPECT_NE(workerOne, workerTwo);
}

TEST(WorkerLifetime, WithoutItsWorkerTheLibraryAnswersAsWithoutTwainAndSaysWhyOnce) {
    // The library and a host in a folder without the worker.
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"front64-no-worker";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* file : {L"scanbridge.dll", L"front64_host_child.exe"})
        ASSERT_TRUE(
            CopyFileW((ProgramFolder() + file).c_str(), (folder + L"\\" + file).c_str(), FALSE));
    auto host = StartChild(folder + L"\\front64_host_child.exe", L"list");
    ASSERT_NE(host, nullptr);
    const std::string output = host->ReadAll();

    EXPECT_NE(output.find("sources 0"), std::string::npos) << output;
    const std::string why = "scanbridge: no scanning: the worker ";
    const std::size_t said = output.find(why);
    ASSERT_NE(said, std::string::npos) << output;
    EXPECT_EQ(output.find(why, said + 1), std::string::npos) << "said once: " << output;
    EXPECT_NE(output.find("scanbridge_worker.exe cannot be started (error 2)"), std::string::npos)
        << output;
}

TEST(WorkerLifetime, AWorkerServesOnlyTheProcessThatStartedIt) {
    // A process that names another as the one to serve.
    auto other = StartChild(ProgramFolder() + L"front64_host_child.exe", L"wait");
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(other->ReadLine(), "ready");
    const std::wstring worker = ProgramFolder() + L"scanbridge_worker.exe";
    std::wstring commandLine = L"\"" + worker + L"\" \\\\.\\pipe\\scanbridge-test " +
                               std::to_wstring(other->process.dwProcessId);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION created{};
    ASSERT_TRUE(CreateProcessW(worker.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &created));
    ASSERT_EQ(WaitForSingleObject(created.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(created.hProcess, &code);
    EXPECT_EQ(code, 2u) << "it refused before it opened any pipe";
    CloseHandle(created.hProcess);
    CloseHandle(created.hThread);
}

}  // namespace

namespace {

// The library beside a worker that breaks the protocol: the session with it
// ends, the scan ends as failed, and the process goes on.
TEST(WorkerLifetime, AMalformedMessageEndsTheSessionNeverTheProcess) {
    const char* faults[] = {"unknown", "huge", "bytes", "page-oversized", "page-handle"};
    for (const char* fault : faults) {
        SCOPED_TRACE(fault);
        SetEnvironmentVariableA("FAKE_WORKER_FAULT", fault);
        FakeJvm jvm;
        {
            ScanbridgeDll dll(".\\misbehaving\\scanbridge.dll");
            ASSERT_TRUE(dll.Loaded());
            for (int scan = 0; scan < 2; ++scan) {
                // The second scan meets a fresh worker.
                jvm.calls.clear();
                EXPECT_EQ(dll.scan(jvm.Env(), jvm.Scan(), 1), JNI_FALSE);
                EXPECT_EQ(jvm.calls,
                          (std::vector<std::string>{"fireStartScanning", "fireStopScanning"}));
                EXPECT_TRUE(jvm.pages.empty());
                EXPECT_EQ(dll.isScanning(jvm.Env(), jvm.Scan()), JNI_FALSE);
            }
            // Answers of a well-formed kind still count.
            EXPECT_EQ(dll.setPixelType(jvm.Env(), jvm.Scan(), 2), JNI_TRUE);
        }
        EXPECT_EQ(jvm.violations, std::vector<std::string>{});
    }
    // The same worker's proper page, for contrast.
    SetEnvironmentVariableA("FAKE_WORKER_FAULT", "page-ok");
    FakeJvm jvm;
    {
        ScanbridgeDll dll(".\\misbehaving\\scanbridge.dll");
        EXPECT_EQ(dll.scan(jvm.Env(), jvm.Scan(), 1), JNI_TRUE);
    }
    ASSERT_EQ(jvm.pages.size(), 1u);
    EXPECT_EQ(jvm.pages[0].size(), 58u);
    SetEnvironmentVariableA("FAKE_WORKER_FAULT", nullptr);
}

}  // namespace

namespace {

// Both sides write the one file, each line saying which.
TEST(WorkerTrace, FrontAndWorkerWriteOneTraceEachLineWithItsSide) {
    const std::string path = FreshTracePath("front64_trace.txt");
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", path.c_str());
    FakeJvm jvm;
    {
        ScanbridgeDll dll("scanbridge.dll");
        ASSERT_TRUE(dll.Loaded());
        ASSERT_EQ(dll.selectSource(jvm.Env(), jvm.Scan(), jvm.NewString(kScannerName)), JNI_TRUE);
        dll.setShowUI(jvm.Env(), jvm.Scan(), JNI_FALSE);
        EXPECT_EQ(dll.scan(jvm.Env(), jvm.Scan(), 1), JNI_TRUE);
    }
    SetEnvironmentVariableA("SCANBRIDGE_TRACE", nullptr);

    const std::vector<std::string> lines = TraceLines(path);
    const std::vector<TracedRequest> requests = TracedRequests(lines);
    ASSERT_FALSE(requests.empty());
    for (const TracedRequest& r : requests) EXPECT_EQ(r.side, "worker") << r.line;
    EXPECT_EQ(requests.front().line.find("worker twain DG_CONTROL/DAT_PARENT/MSG_OPENDSM"), 0u);
    EXPECT_EQ(requests.back().line.find("worker twain DG_CONTROL/DAT_PARENT/MSG_CLOSEDSM"), 0u)
        << "the worker closed the manager when the library was released";
    const std::vector<std::string> images = TracedOf(lines, "image");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].find("image global block, 827 x 1169, 24 bits"), 0u) << images[0];
    std::vector<std::string> sides;
    for (const std::string& line : lines) {
        const std::string rest = AfterHead(line);
        const std::string side = rest.substr(0, rest.find(' '));
        const std::string what =
            rest.substr(side.size() + 1, rest.find(' ', side.size() + 1) - side.size() - 1);
        if (what == "native" || what == "callback" || what == "image")
            sides.push_back(what + " " + side);
    }
    EXPECT_EQ(sides, (std::vector<std::string>{"native front", "native front", "callback front",
                                               "callback front", "image worker", "callback front",
                                               "native front"}));
    EXPECT_NE(TracedOf(lines, "worker").size(), 0u) << "the front says when its worker started";
}

}  // namespace
