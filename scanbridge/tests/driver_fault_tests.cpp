// Drivers that misbehave as real ones do, and scans stopped halfway: every
// scan still comes back to Java, delivers each valid page byte for byte and in
// order, closes its source in the order TWAIN allows, and frees every block
// the manager handed out or received (the fixture's TearDown counts them).

#include <functional>
#include <ostream>

#include "scan_fixture.h"

namespace {

using Lines = std::vector<std::string>;
using Pages = std::vector<std::vector<unsigned char>>;

constexpr DWORD kRle8 = 1;  // BI_RLE8

// An 8-bit run-length encoded DIB of 4 x 2 pixels in two colours, whose header
// claims sizeImage bytes of pixel data (8 is the truth).
std::vector<unsigned char> Rle8Dib(DWORD sizeImage) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = 4;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = 8;
    header.biCompression = kRle8;
    header.biSizeImage = sizeImage;
    header.biClrUsed = 2;
    std::vector<unsigned char> dib(sizeof(header));
    std::memcpy(dib.data(), &header, sizeof(header));
    const unsigned char colours[] = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};
    // A run of four of colour 0, end of line; four of colour 1, end of bitmap.
    const unsigned char runs[] = {4, 0, 0, 0, 4, 1, 0, 1};
    dib.insert(dib.end(), std::begin(colours), std::end(colours));
    dib.insert(dib.end(), std::begin(runs), std::end(runs));
    return dib;
}

// The BMP file of Rle8Dib(8): the DIB as it is, behind a file header.
std::vector<unsigned char> Rle8Bmp() {
    std::vector<unsigned char> bmp = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0};
    const std::vector<unsigned char> dib = Rle8Dib(8);
    bmp.insert(bmp.end(), dib.begin(), dib.end());
    return bmp;
}

void AddDib(const std::vector<unsigned char>& dib, TW_UINT16 pendingAfter) {
    FakeTwain_AddImage(dib.data(), static_cast<UINT>(dib.size()), TWRC_XFERDONE, pendingAfter);
}

Lines Join(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Lines Start(int count) { return {"SET XFERCOUNT=" + std::to_string(count), "ENABLEDS ui"}; }

Lines Transfers(int images) {
    Lines lines;
    for (int i = 0; i < images; ++i)
        lines.insert(lines.end(), {"IMAGEINFO", "NATIVEXFER", "ENDXFER"});
    return lines;
}

const Lines kClose = {"DISABLEDS", "CLOSEDS"};

void Ready() { FakeTwain_PostNotification(MSG_XFERREADY); }

// Waits for a flag another thread sets, up to a limit, so that a scan that
// hangs fails its test instead of the whole program.
bool WaitFor(const std::atomic<bool>& flag, DWORD limitMs) {
    for (DWORD waited = 0; !flag && waited < limitMs; waited += 10) Sleep(10);
    return flag;
}

enum class Stop { Never, FromCallback, FromOtherThread };

struct FaultCase {
    const char* name;
    int count;
    std::function<void()> script;  // the pages and the misbehaviour
    Lines conversation;            // after the selection
    Pages pages;
    UINT stateAfterScan = 3;  // the source closed
    Stop stop = Stop::Never;
    std::size_t stopAtPage = 0;  // stopScanning from this page's fireNewImage
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

std::vector<FaultCase> Cases() {
    return {
        {"CloseRequestBeforeAnyTransfer",
         2,
         [] {
             AddPage(1, 1);
             AddPage(2, 0);
             FakeTwain_PostNotification(MSG_CLOSEDSREQ);
         },
         Join({Start(2), kClose}),
         {}},
        // The second one arrives with the source already closed.
        {"ReadyTwice",
         2,
         [] {
             FakeTwain_SetFault(FAKE_TWAIN_FAULT_TWO_XFERREADY, TRUE);
             AddPage(1, 1);
             AddPage(2, 0);
             Ready();
         },
         Join({Start(2), Transfers(2), kClose}),
         {Bmp24(1), Bmp24(2)}},
        // The pages the source still holds are released before it is closed.
        {"ImageInformationFailsMidBatch",
         3,
         [] {
             AddPage(1, 2);
             AddPage(2, 1);
             FakeTwain_SetImageFault(FAKE_TWAIN_FAULT_IMAGEINFO_FAILS);
             AddPage(3, 0);
             Ready();
         },
         Join({Start(3), Transfers(1), {"IMAGEINFO", "RESET"}, kClose}),
         {Bmp24(1)}},
        // The source's word ends the batch, however many pages were asked for.
        {"NothingPendingAfterTheFirstPage",
         3,
         [] {
             AddPage(1, 0);
             AddPage(2, 1);
             AddPage(3, 0);
             Ready();
         },
         Join({Start(3), Transfers(1), kClose}),
         {Bmp24(1)}},
        // An uncompressed page gets its size computed and written into its
        // header; a compressed one without a size cannot be cut out of its
        // block and is skipped.
        {"PagesWithoutImageSize",
         3,
         [] {
             AddPage(1, 2);
             AddDib(Rle8Dib(0), 1);
             AddDib(Rle8Dib(8), 0);
             Ready();
         },
         Join({Start(3), Transfers(3), kClose}),
         {Bmp24(1), Rle8Bmp()}},
        {"DoneWithoutAnImage",
         3,
         [] {
             AddPage(1, 2);
             AddPage(2, 1);
             FakeTwain_SetImageFault(FAKE_TWAIN_FAULT_NULL_IMAGE);
             AddPage(3, 0);
             Ready();
         },
         Join({Start(3), Transfers(3), kClose}),
         {Bmp24(1), Bmp24(3)}},
        // Still enabled, the source cannot be closed; the scan asks once more
        // before it comes back.
        {"DisableRefusedOnce",
         1,
         [] {
             AddPage(1, 0);
             FakeTwain_PushAnswer(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, FAKE_TWAIN_ANY_CAP,
                                  TWRC_FAILURE, TWCC_BUMMER);
             Ready();
         },
         Join({Start(1), Transfers(1), kClose, kClose}),
         {Bmp24(1)}},
        {"CloseRefusedOnce",
         1,
         [] {
             AddPage(1, 0);
             FakeTwain_PushAnswer(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, FAKE_TWAIN_ANY_CAP,
                                  TWRC_FAILURE, TWCC_BUMMER);
             Ready();
         },
         Join({Start(1), Transfers(1), kClose, {"CLOSEDS"}}),
         {Bmp24(1)}},
        // Refusing for good leaves the source where it is; unloading closes it
        // once it gives in (TearDown).
        {"DisableRefusedForGood",
         1,
         [] {
             AddPage(1, 0);
             FakeTwain_SetFault(FAKE_TWAIN_FAULT_REFUSE_DISABLE, TRUE);
             Ready();
         },
         Join({Start(1), Transfers(1), kClose, kClose}),
         {Bmp24(1)},
         5},
        {"CloseRefusedForGood",
         1,
         [] {
             AddPage(1, 0);
             FakeTwain_SetFault(FAKE_TWAIN_FAULT_REFUSE_CLOSE, TRUE);
             Ready();
         },
         Join({Start(1), Transfers(1), kClose, {"CLOSEDS"}}),
         {Bmp24(1)},
         4},
        // The page being delivered completes; the rest of the batch is released.
        {"StoppedFromTheFirstPage",
         3,
         [] {
             AddPage(1, 2);
             AddPage(2, 1);
             AddPage(3, 0);
             Ready();
         },
         Join({Start(3), Transfers(1), {"RESET"}, kClose}),
         {Bmp24(1)},
         3,
         Stop::FromCallback,
         1},
        {"StoppedFromTheLastPage",
         2,
         [] {
             AddPage(1, 1);
             AddPage(2, 0);
             Ready();
         },
         Join({Start(2), Transfers(2), kClose}),
         {Bmp24(1), Bmp24(2)},
         3,
         Stop::FromCallback,
         2},
        {"StoppedFromAnotherThreadMidBatch",
         3,
         [] {
             AddPage(1, 0xFFFF);
             AddPage(2, 0xFFFF);
             AddPage(3, 0);
             Ready();
         },
         Join({Start(3), Transfers(1), {"RESET"}, kClose}),
         {Bmp24(1)},
         3,
         Stop::FromOtherThread,
         1},
    };
}

class DriverFault : public ScanEndToEnd, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DriverFault, ScanComesBackWithEveryValidPage) {
    const FaultCase& c = GetParam();
    SelectBeta();
    c.script();
    std::vector<jint> stopAnswers;
    jvm_.onCallback = [&](const std::string& method) {
        if (method != "fireNewImage" || jvm_.pages.size() != c.stopAtPage) return;
        if (c.stop == Stop::FromCallback) {
            stopAnswers.push_back(Dll().stopScanning(jvm_.Env(), jvm_.Scan()));
        } else if (c.stop == Stop::FromOtherThread) {
            std::thread stopper(
                [&] { stopAnswers.push_back(Dll().stopScanning(jvm_.Env(), jvm_.Scan())); });
            stopper.join();
        }
    };

    EXPECT_EQ(Scan(c.count), JNI_TRUE);

    Lines calls(c.pages.size(), "fireNewImage");
    calls.insert(calls.begin(), "fireStartScanning");
    calls.push_back("fireStopScanning");
    EXPECT_EQ(jvm_.calls, calls);
    EXPECT_EQ(jvm_.pages, c.pages);
    EXPECT_EQ(Conversation(), c.conversation);
    EXPECT_EQ(FakeTwain_State(), c.stateAfterScan);
    EXPECT_FALSE(IsScanning());
    EXPECT_EQ(jvm_.LiveLocalReferences(), 0);
    EXPECT_EQ(stopAnswers, c.stop == Stop::Never ? std::vector<jint>{} : std::vector<jint>{1});

    // A driver that refused for good gives in now; unloading must then close
    // what the scan could not.
    FakeTwain_SetFault(FAKE_TWAIN_FAULT_REFUSE_DISABLE, FALSE);
    FakeTwain_SetFault(FAKE_TWAIN_FAULT_REFUSE_CLOSE, FALSE);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverFault, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return std::string(info.param.name);
                         });

// A JVM loads the library on one thread and scans on another; the source's
// notifications must reach the thread that pumps, whether the manager posts
// them to the source's window (Wine's) or wakes the window it was opened with
// and hands them over at the next event (the TWAIN 2 manager's).
class ScanOnAnotherThread : public ScanEndToEnd, public ::testing::WithParamInterface<UINT> {};

TEST_P(ScanOnAnotherThread, NotificationsReachTheThreadThatPumps) {
    FakeTwain_SetNotifyStyle(GetParam());
    Dll();
    const DWORD loader = GetCurrentThreadId();
    HWND managerParent = nullptr;
    for (UINT i = 0; i < FakeTwain_RequestCount(); ++i) {
        FakeTwainRequest request;
        FakeTwain_GetRequest(i, &request);
        if (request.msg == MSG_OPENDSM) managerParent = request.window;
    }
    SelectBeta();
    AddPage(1, 1);
    AddPage(2, 0);
    Ready();

    DWORD scanner = 0;
    HWND sourceParent = nullptr;
    DWORD sourceParentThread = 0;
    jvm_.onCallback = [&](const std::string& method) {
        if (method != "fireNewImage" || sourceParent != nullptr) return;
        FakeTwainRequest enable{};
        for (UINT i = 0; i < FakeTwain_RequestCount(); ++i) {
            FakeTwain_GetRequest(i, &enable);
            if (enable.msg == MSG_ENABLEDS) break;
        }
        sourceParent = enable.window;
        sourceParentThread = GetWindowThreadProcessId(sourceParent, nullptr);
    };
    std::atomic<bool> done{false};
    jboolean answer = JNI_FALSE;
    std::thread scanning([&] {
        scanner = GetCurrentThreadId();
        answer = Scan(2);
        done = true;
    });
    const bool returned = WaitFor(done, 20000);
    // A scan whose notifications went astray would wait for ever; end it.
    if (!returned) Dll().stopScanning(jvm_.Env(), jvm_.Scan());
    scanning.join();

    ASSERT_TRUE(returned);
    EXPECT_EQ(answer, JNI_TRUE);
    EXPECT_EQ(jvm_.pages, (Pages{Bmp24(1), Bmp24(2)}));
    EXPECT_EQ(Conversation(), Join({Start(2), Transfers(2), kClose}));
    // The manager keeps the loader's proxy window; the source was given one
    // of the scanning thread for this scan only, and disabled with it.
    EXPECT_EQ(GetWindowThreadProcessId(managerParent, nullptr), loader);
    EXPECT_EQ(sourceParentThread, scanner);
    EXPECT_FALSE(IsWindow(sourceParent));
    FakeTwainRequest disable{};
    for (UINT i = 0; i < FakeTwain_RequestCount(); ++i) {
        FakeTwain_GetRequest(i, &disable);
        if (disable.msg == MSG_DISABLEDS) break;
    }
    EXPECT_EQ(disable.window, sourceParent);
    // What the manager posted to the loader's window stays there unread.
    MSG left;
    while (PeekMessageW(&left, managerParent, 0, 0, PM_REMOVE)) {
    }
}

INSTANTIATE_TEST_SUITE_P(Managers, ScanOnAnotherThread,
                         ::testing::Values(FAKE_TWAIN_NOTIFY_ENABLE_WINDOW,
                                           FAKE_TWAIN_NOTIFY_MANAGER_WAKEUP),
                         [](const ::testing::TestParamInfo<UINT>& info) {
                             return std::string(info.param == FAKE_TWAIN_NOTIFY_ENABLE_WINDOW
                                                    ? "WineStyle"
                                                    : "Twain2Style");
                         });

// Whether every request since the last clear came from this thread.
bool AllRequestsFrom(DWORD thread) {
    for (UINT i = 0; i < FakeTwain_RequestCount(); ++i) {
        FakeTwainRequest request;
        FakeTwain_GetRequest(i, &request);
        if (request.thread != thread) return false;
    }
    return true;
}

// The scanning thread, held by a hook of its own at the creation of the
// scan's window, its first step inside the engine, while another thread asks
// it to stop; the hook lets it go once the stop has answered.
thread_local std::function<void()> atFirstWindow;

LRESULT CALLBACK HoldAtWindowCreation(int code, WPARAM w, LPARAM l) {
    if (code == HCBT_CREATEWND && atFirstWindow) {
        auto act = std::move(atFirstWindow);
        atFirstWindow = nullptr;
        act();
    }
    return CallNextHookEx(nullptr, code, w, l);
}

struct EarlyStopCase {
    const char* name;
    bool selected;
};

class EarlyStop : public ScanEndToEnd, public ::testing::WithParamInterface<EarlyStopCase> {};

// A stop while the scan starts is answered 1 and ends that scan before its
// source is started; every request of the scan, the closing included, is the
// scanning thread's.
TEST_P(EarlyStop, AStopWhileTheScanStartsEndsItOnItsOwnThread) {
    if (GetParam().selected) {
        SelectBeta();
    } else {
        Dll();
        FakeTwain_ClearRequests();
    }
    AddPage(1, 0);
    Ready();
    jint stopAnswer = -1;
    bool scanningWhenStopped = false;
    atFirstWindow = [&] {
        std::thread stopper([&] {
            scanningWhenStopped = IsScanning();
            stopAnswer = Dll().stopScanning(jvm_.Env(), jvm_.Scan());
        });
        stopper.join();
    };
    const HHOOK hook =
        SetWindowsHookExW(WH_CBT, HoldAtWindowCreation, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);

    EXPECT_EQ(Scan(1), JNI_TRUE);
    UnhookWindowsHookEx(hook);

    EXPECT_EQ(stopAnswer, 1);
    EXPECT_TRUE(scanningWhenStopped);
    EXPECT_FALSE(IsScanning());
    EXPECT_EQ(jvm_.pages, Pages{});
    EXPECT_EQ(jvm_.calls, (Lines{"fireStartScanning", "fireStopScanning"}));
    EXPECT_EQ(Conversation(), GetParam().selected ? Lines{"CLOSEDS"} : Lines{});
    EXPECT_TRUE(AllRequestsFrom(GetCurrentThreadId()));
    EXPECT_EQ(FakeTwain_State(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Scans, EarlyStop,
                         ::testing::Values(EarlyStopCase{"SourceSelected", true},
                                           EarlyStopCase{"NothingSelected", false}),
                         [](const ::testing::TestParamInfo<EarlyStopCase>& info) {
                             return std::string(info.param.name);
                         });

// After its pump, until the scan native returns, a stop still belongs to the
// scan: answered 1, and nothing of TWAIN happens on the stopping thread, even
// with a source that would not close.
TEST_F(ScanEndToEnd, AStopDuringFireStopScanningLeavesTwainToTheScanningThread) {
    SelectBeta();
    AddPage(1, 0);
    FakeTwain_SetFault(FAKE_TWAIN_FAULT_REFUSE_CLOSE, TRUE);
    Ready();
    jint stopAnswer = -1;
    jvm_.onCallback = [&](const std::string& method) {
        if (method != "fireStopScanning") return;
        std::thread stopper([&] { stopAnswer = Dll().stopScanning(jvm_.Env(), jvm_.Scan()); });
        stopper.join();
    };

    EXPECT_EQ(Scan(1), JNI_TRUE);

    EXPECT_EQ(stopAnswer, 1);
    EXPECT_EQ(jvm_.pages, (Pages{Bmp24(1)}));
    EXPECT_TRUE(AllRequestsFrom(GetCurrentThreadId()));
    FakeTwain_SetFault(FAKE_TWAIN_FAULT_REFUSE_CLOSE, FALSE);
}

// A source that sends nothing at all: only a stop from another thread ends
// the scan, and the scanning thread closes the source itself.
TEST_F(ScanEndToEnd, SilentSourceUntilStoppedFromTheLoaderThread) {
    SelectBeta();
    AddPage(1, 0);  // never announced
    std::atomic<bool> done{false};
    jboolean answer = JNI_FALSE;
    std::thread scanning([&] {
        answer = Scan(1);
        done = true;
    });
    std::atomic<bool> started{false};
    for (int i = 0; i < 1000 && !started; ++i) {
        started = IsScanning();
        Sleep(5);
    }
    // Nothing comes while nobody stops.
    EXPECT_FALSE(WaitFor(done, 300));
    const jint stopAnswer = Dll().stopScanning(jvm_.Env(), jvm_.Scan());
    const bool returned = WaitFor(done, 10000);
    if (!returned) FakeTwain_PostNotification(MSG_CLOSEDSREQ);
    scanning.join();

    ASSERT_TRUE(started);
    ASSERT_TRUE(returned);
    EXPECT_EQ(answer, JNI_TRUE);
    EXPECT_EQ(stopAnswer, 1);
    EXPECT_FALSE(IsScanning());
    EXPECT_EQ(Conversation(), Join({Start(1), kClose}));
    EXPECT_EQ(jvm_.calls, (Lines{"fireStartScanning", "fireStopScanning"}));
    EXPECT_EQ(FakeTwain_State(), 3u);
}

}  // namespace

namespace {

// What the test manager wrote to its log while a process that loaded the
// library ended in the given way.
Lines ManagerLogOfAnEnding(const char* ending) {
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string folder(program);
    folder.resize(folder.find_last_of('\\') + 1);
    const std::string log = folder + "process_end_" + ending + ".log";
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("FAKE_TWAIN_LOG", log.c_str());
    std::string command = "\"" + folder + "process_end_child.exe\" " + ending;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, folder.c_str(), &startup, &child);
    SetEnvironmentVariableA("FAKE_TWAIN_LOG", nullptr);
    if (!started) return {"not started"};
    WaitForSingleObject(child.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    Lines lines;
    if (code != 0) lines.push_back("exit code " + std::to_string(code));
    const HANDLE file = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return lines;
    std::string text(4096, '\0');
    DWORD read = 0;
    ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// DAT_PARENT with MSG_OPENDSM and MSG_CLOSEDSM, as the log spells them.
const std::string kOpenManager = "4/769";
const std::string kCloseManager = "4/770";

}  // namespace

// Released by FreeLibrary, the library closes the manager while it is still
// there; at the end of the process it leaves it to the system, which may
// already have detached it, and makes no request at all.
TEST(ProcessEnd, TheManagerIsClosedOnUnloadAndLeftAloneAtExit) {
    EXPECT_EQ(ManagerLogOfAnEnding("unload"), (Lines{kOpenManager, kCloseManager, "detach"}));
    EXPECT_EQ(ManagerLogOfAnEnding("exit"), (Lines{kOpenManager, "detach at exit"}));
}
