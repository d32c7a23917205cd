// Black-box tests of runner.exe under Wine. Each case gets a fresh application folder with a
// copy of runner.exe and (or not) parametry.txt, a stand-in java.exe where the case wants one,
// and a CurrentVersion in the 32-bit registry view this 32-bit test sees. runner.exe is started
// inside a job object with an exact raw command line; the test answers its message boxes, waits
// until runner and everything it started have ended (killing them after a time limit), and
// then compares the boxes and the stand-in's records with what is expected.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

const char* const kJavaKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
// Where Java 9 and later register instead.
const char* const kJreKey = "SOFTWARE\\JavaSoft\\JRE";
const char* const kJdkKey = "SOFTWARE\\JavaSoft\\JDK";
const char* const kNativeSystemJava = "C:\\windows\\system32\\java.exe";
constexpr auto kTimeLimit = std::chrono::seconds(20);
// Registry types that stand for no CurrentVersion in the tables below.
constexpr DWORD kNoKey = 0xFFFFFFFF;
constexpr DWORD kNoValue = 0xFFFFFFFE;

// The build hands over Unix paths; Wine shows the Unix root as drive Z:.
std::string WindowsPath(std::string unixPath) {
    std::replace(unixPath.begin(), unixPath.end(), '/', '\\');
    return "Z:" + unixPath;
}

struct Box {
    std::wstring caption;
    std::wstring text;
};

struct JavaStart {
    std::string commandLine;
    std::string directory;
    std::string showFlags;  // "1 0": STARTF_USESHOWWINDOW with SW_HIDE
    std::string path;       // its PATH
    std::vector<std::string> arguments;
};

struct Outcome {
    bool ended = false;
    DWORD exitCode = 1;
    std::vector<Box> boxes;
    bool windowShown = false;                     // a window other than a message box
    std::set<std::string> windowsBesideFirstBox;  // "class/title" while the first box was open
    std::vector<JavaStart> probes;                // started by the shell with --version
    std::vector<JavaStart> launches;              // started with the application's command line
};

std::string ReadWholeFile(const std::string& path) {
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

std::vector<std::string> FilesIn(const std::string& folder, const char* pattern) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::string(found.cFileName) != "." && std::string(found.cFileName) != "..") {
            names.push_back(found.cFileName);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

JavaStart ParseRecord(const std::string& record) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = record.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(record.substr(start, end - start));
    }
    JavaStart java;
    if (lines.size() < 4) return java;
    java.commandLine = lines[0];
    java.directory = lines[1];
    java.showFlags = lines[2];
    java.path = lines[3];
    java.arguments.assign(lines.begin() + 4, lines.end());
    return java;
}

// Runs a file operation with redirection off: this test is a 32-bit process too, and would
// otherwise reach syswow64 instead of the 64-bit system32.
template <typename Action>
void WithRedirectionOff(Action action) {
    PVOID previous = nullptr;
    Wow64DisableWow64FsRedirection(&previous);
    action();
    Wow64RevertWow64FsRedirection(previous);
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> boxes;             // visible message boxes
    std::set<std::string> otherWindows;  // "class/title" of the process's other windows
    bool otherWindowVisible = false;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    char title[64] = {};
    GetWindowTextA(window, title, sizeof(title));
    if (std::string(className) == "#32770") {
        if (IsWindowVisible(window)) search->boxes.push_back(window);
        return TRUE;
    }
    search->otherWindows.insert(std::string(className) + "/" + title);
    if (IsWindowVisible(window)) search->otherWindowVisible = true;
    return TRUE;
}

class RunnerTest : public testing::Test {
protected:
    void SetUp() override {
        const std::string cases = WindowsPath(KORVELO_CASES_DIR);
        CreateDirectoryA(cases.c_str(), nullptr);
        appFolder_ = cases + "\\" + testing::UnitTest::GetInstance()->current_test_info()->name();
        RemoveTree(appFolder_);
        ASSERT_TRUE(CreateDirectoryA(appFolder_.c_str(), nullptr)) << appFolder_;
        recordsFolder_ = appFolder_ + "\\records";
        ASSERT_TRUE(CreateDirectoryA(recordsFolder_.c_str(), nullptr));
        startFolder_ = appFolder_ + "\\elsewhere";
        ASSERT_TRUE(CreateDirectoryA(startFolder_.c_str(), nullptr));
        runner_ = appFolder_ + "\\runner.exe";
        ASSERT_TRUE(CopyFileA(WindowsPath(KORVELO_RUNNER_EXE).c_str(), runner_.c_str(), FALSE));

        // No java.exe may be left anywhere the search reaches, even by a run that was killed.
        bool nativeJava = true;
        WithRedirectionOff([&] {
            DeleteFileA(kNativeSystemJava);
            nativeJava = Exists(kNativeSystemJava);
        });
        ASSERT_FALSE(nativeJava) << "a java.exe was left in the 64-bit system32";
        ASSERT_FALSE(Exists("C:\\windows\\syswow64\\java.exe"));
        ASSERT_FALSE(Exists("C:\\windows\\java.exe"));
        DeleteJavaKeys();
    }

    void TearDown() override {
        if (placedInNativeSystem_) {
            WithRedirectionOff([] { DeleteFileA(kNativeSystemJava); });
        }
        DeleteJavaKeys();
    }

    void WriteParameters(const std::string& bytes) {
        WriteWholeFile(appFolder_ + "\\parametry.txt", bytes);
    }

    // Moves the application into a sub-folder of this name, as an installation under
    // "Program Files" would be.
    void MoveApplicationTo(const std::string& name) {
        const std::string folder = appFolder_ + "\\" + name;
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        ASSERT_TRUE(MoveFileA(runner_.c_str(), (folder + "\\runner.exe").c_str()));
        appFolder_ = folder;
        runner_ = folder + "\\runner.exe";
    }

    // Beside runner.exe both the shell and CreateProcess find it (the program's own folder is
    // searched first); runner is started from another folder, so the current one plays no part.
    void PlaceJavaBesideRunner(const char* java = KORVELO_FAKE_JAVA_EXE) {
        ASSERT_TRUE(
            CopyFileA(WindowsPath(java).c_str(), (appFolder_ + "\\java.exe").c_str(), FALSE));
    }

    void PlaceJavaInNativeSystem(const char* java = KORVELO_FAKE_JAVA_EXE) {
        BOOL copied = FALSE;
        WithRedirectionOff(
            [&] { copied = CopyFileA(WindowsPath(java).c_str(), kNativeSystemJava, FALSE); });
        ASSERT_TRUE(copied);
        placedInNativeSystem_ = true;
    }

    static void SetCurrentVersion(const std::string& version) {
        SetCurrentVersionData(REG_SZ, version + '\0');
    }

    static void SetCurrentVersionData(DWORD type, const std::string& data,
                                      const char* keyPath = kJavaKey) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, "CurrentVersion", 0, type,
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    static void DeleteCurrentVersion() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kJavaKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, "CurrentVersion");
            RegCloseKey(key);
        }
    }

    static void CreateKeyWithoutValues(const char* keyPath) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_WRITE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // The tests create no sub-keys under these, so each can be deleted whole.
    static void DeleteJavaKeys() {
        for (const char* keyPath : {kJavaKey, kJreKey, kJdkKey}) {
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath);
        }
    }

    // Starts runner.exe with exactly this raw command line, from a folder other than its own.
    Outcome Run(std::string rawCommandLine) {
        Outcome outcome;
        HANDLE job = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));

        SetEnvironmentVariableA("KORVELO_JAVA_RECORDS", recordsFolder_.c_str());
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA(runner_.c_str(), &rawCommandLine[0], nullptr, nullptr, FALSE,
                            CREATE_SUSPENDED, nullptr, startFolder_.c_str(), &startup, &process)) {
            ADD_FAILURE() << "runner.exe could not be started: " << GetLastError();
            CloseHandle(job);
            return outcome;
        }
        AssignProcessToJobObject(job, process.hProcess);
        ResumeThread(process.hThread);

        std::set<HWND> answered;
        const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
        while (std::chrono::steady_clock::now() < deadline) {
            WindowSearch search{process.dwProcessId, {}, {}, false};
            EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
            if (search.otherWindowVisible) outcome.windowShown = true;
            for (HWND box : search.boxes) {
                if (!answered.insert(box).second) continue;
                outcome.windowsBesideFirstBox = search.otherWindows;
                wchar_t caption[256] = {};
                wchar_t text[1024] = {};
                GetWindowTextW(box, caption, 256);
                GetDlgItemTextW(box, 0xFFFF, text, 1024);
                outcome.boxes.push_back({caption, text});
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
            QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                      sizeof(accounting), nullptr);
            if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0 &&
                accounting.ActiveProcesses == 0) {
                outcome.ended = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (!outcome.ended) TerminateJobObject(job, 1);
        WaitForSingleObject(process.hProcess, 5000);
        GetExitCodeProcess(process.hProcess, &outcome.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        CloseHandle(job);

        for (const std::string& name : FilesIn(recordsFolder_, "*.rec")) {
            JavaStart java = ParseRecord(ReadWholeFile(recordsFolder_ + "\\" + name));
            const std::string probeEnd = " --version";
            const bool probe = java.commandLine.size() >= probeEnd.size() &&
                               java.commandLine.compare(java.commandLine.size() - probeEnd.size(),
                                                        probeEnd.size(), probeEnd) == 0;
            (probe ? outcome.probes : outcome.launches).push_back(java);
        }
        return outcome;
    }

    void ClearRecords() {
        for (const std::string& name : FilesIn(recordsFolder_, "*.rec")) {
            DeleteFileA((recordsFolder_ + "\\" + name).c_str());
        }
    }

    void ExpectLaunch(const Outcome& outcome, const std::string& commandLine) {
        ASSERT_EQ(outcome.launches.size(), 1u);
        const JavaStart& java = outcome.launches[0];
        EXPECT_EQ(java.commandLine, commandLine);
        EXPECT_EQ(java.directory + "\\", appFolder_ + "\\");
        EXPECT_EQ(java.showFlags, "1 0");
    }

    // Runs runner.exe with the registry as a case set it: the one box it shows, none for an
    // empty text, and whether it started Java.
    void ExpectVersionOutcome(const std::wstring& box, bool starts);

    std::string appFolder_;
    std::string recordsFolder_;
    std::string startFolder_;
    std::string runner_;
    bool placedInNativeSystem_ = false;
};

const wchar_t* const kNoParameters =
    L"Nepodařilo se spustit aplikaci, protože nebyly nalezeny parametry pro spuštění.";
const wchar_t* const kNoJava =
    L"Nepodařilo se nalézt instalaci Javy, která je potřeba pro spuštění této aplikace. "
    L"Proveďte prosím reinstalaci Javy.";
const wchar_t* const kOldJava =
    L"Pravděpodobně máte nainstalovánu starou verzi Javy a je tak možné, že se aplikace "
    L"nespustí. Nainstalujte prosím alespoň Javu verze 6.";
const wchar_t* const kLaunchFailure = L"Nastala chyba při spouštění aplikace. Chyba: ";

void ExpectBoxes(const Outcome& outcome, const std::vector<std::wstring>& texts) {
    ASSERT_EQ(outcome.boxes.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(outcome.boxes[i].caption, L"Chyba");
        EXPECT_EQ(outcome.boxes[i].text, texts[i]);
    }
}

void ExpectEndedWithZero(const Outcome& outcome) {
    EXPECT_TRUE(outcome.ended) << "runner.exe or what it started did not end in time";
    EXPECT_EQ(outcome.exitCode, 0u);
    EXPECT_FALSE(outcome.windowShown) << "runner.exe showed a window of its own";
}

void RunnerTest::ExpectVersionOutcome(const std::wstring& box, bool starts) {
    ClearRecords();
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, box.empty() ? std::vector<std::wstring>{} : std::vector{box});
    EXPECT_EQ(outcome.launches.size(), starts ? 1u : 0u);
}

TEST_F(RunnerTest, NoParametersFileShowsOnlyM1AndProbesNothing) {
    PlaceJavaBesideRunner();
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {kNoParameters});
    EXPECT_TRUE(outcome.probes.empty());
    EXPECT_TRUE(outcome.launches.empty());
    // The application window and the main window exist, hidden, while the box is open.
    // (Wine adds an IME window of its own to every GUI thread.)
    EXPECT_EQ(outcome.windowsBesideFirstBox.count("TApplication/Korvelo"), 1u);
    EXPECT_EQ(outcome.windowsBesideFirstBox.count("TForm1/Korvelo Runner"), 1u);
}

TEST_F(RunnerTest, Java18StartsWithoutAMessage) {
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {});
    ASSERT_EQ(outcome.probes.size(), 1u);
    EXPECT_EQ(outcome.probes[0].showFlags, "1 0");
    ExpectLaunch(outcome, "java.exe -jar app.jar");
}

TEST_F(RunnerTest, Java15WarnsWithM3AndStillStarts) {
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    SetCurrentVersion("1.5");
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {kOldJava});
    ExpectLaunch(outcome, "java.exe -jar app.jar");
}

TEST_F(RunnerTest, NewerJavaVersionsAreNotTakenForOld) {
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    for (const char* version : {"1.10", "11"}) {
        SetCurrentVersion(version);
        const Outcome outcome = Run("runner.exe");
        ExpectEndedWithZero(outcome);
        ExpectBoxes(outcome, {});
        EXPECT_EQ(outcome.launches.size(), 1u) << version;
        ClearRecords();
    }
}

TEST_F(RunnerTest, UnreadableVersionShowsM4AndStartsNothing) {
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    SetCurrentVersion("1.x");
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {std::wstring(kLaunchFailure) +
                          L"CurrentVersion \"1.x\" is not a valid version number"});
    EXPECT_EQ(outcome.probes.size(), 1u);
    EXPECT_TRUE(outcome.launches.empty());
}

TEST_F(RunnerTest, RegistryValueFormsDecideBetweenWarningAndFailure) {
    using namespace std::string_literals;
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    struct Case {
        const char* name;
        DWORD type;
        std::string data;
        std::wstring box;  // empty: no box
        bool starts;
    };
    const std::vector<Case> cases = {
        {"no key", kNoKey, "", kOldJava, true},
        {"no value", kNoValue, "", kOldJava, true},
        {"empty string", REG_SZ, ""s, kOldJava, true},
        {"number without data", REG_DWORD, ""s, kOldJava, true},
        {"expandable string", REG_EXPAND_SZ, "1.8\0"s, L"", true},
        {"string without its zero", REG_SZ, "1.8"s, L"", true},
        {"text after a zero", REG_SZ, "1.8\0junk\0"s, L"", true},
        {"number", REG_DWORD, "\x08\0\0\0"s,
         std::wstring(kLaunchFailure) + L"CurrentVersion: the registry value is not a string",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kJavaKey);
        if (c.type == kNoValue) SetCurrentVersion("1.8");
        DeleteCurrentVersion();
        if (c.type != kNoKey && c.type != kNoValue) SetCurrentVersionData(c.type, c.data);
        ExpectVersionOutcome(c.box, c.starts);
    }
}

// Java 9 and later write CurrentVersion only under JRE or JDK. The first of the three keys that
// has the value decides, by the same number rules and with the same failures.
TEST_F(RunnerTest, NewerJavaKeysAreReadWhenTheClassicKeyHasNoVersion) {
    using namespace std::string_literals;
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    struct Entry {
        DWORD type;
        std::string data;
    };
    const Entry none{kNoKey, ""};
    const Entry keyOnly{kNoValue, ""};
    const auto text = [](const char* version) { return Entry{REG_SZ, version + "\0"s}; };
    const Entry number{REG_DWORD, "\x11\0\0\0"s};
    struct Case {
        const char* name;
        Entry classic;
        Entry jre;
        Entry jdk;
        std::wstring box;  // empty: no box
        bool starts;
    };
    const std::wstring failure = kLaunchFailure;
    const std::vector<Case> cases = {
        {"JRE 17 only", none, text("17"), none, L"", true},
        {"JDK 21 only", none, none, text("21"), L"", true},
        {"JRE key without a value, JDK 1.8", none, keyOnly, text("1.8"), L"", true},
        {"classic key without a value, JRE 17", keyOnly, text("17"), none, L"", true},
        {"JRE 1.5", none, text("1.5"), none, kOldJava, true},
        {"JRE before JDK", none, text("1.5"), text("21"), kOldJava, true},
        {"classic before JRE", text("1.5"), text("17"), none, kOldJava, true},
        {"classic without a number still decides", text(""), text("17"), none, kOldJava, true},
        {"classic 1.8 leaves a JRE number unread", text("1.8"), number, none, L"", true},
        {"JRE number", none, number, text("21"),
         failure + L"CurrentVersion: the registry value is not a string", false},
        {"JDK 1.x", none, none, text("1.x"),
         failure + L"CurrentVersion \"1.x\" is not a valid version number", false},
        {"keys without values everywhere", keyOnly, keyOnly, keyOnly, kOldJava, true},
    };
    const auto place = [](const char* keyPath, const Entry& entry) {
        if (entry.type == kNoValue) {
            CreateKeyWithoutValues(keyPath);
        } else if (entry.type != kNoKey) {
            SetCurrentVersionData(entry.type, entry.data, keyPath);
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteJavaKeys();
        place(kJavaKey, c.classic);
        place(kJreKey, c.jre);
        place(kJdkKey, c.jdk);
        ExpectVersionOutcome(c.box, c.starts);
    }
}

TEST_F(RunnerTest, NoJavaAnywhereShowsM2AndStartsNothing) {
    WriteParameters("-jar app.jar");
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {kNoJava});
    EXPECT_TRUE(outcome.launches.empty());
}

TEST_F(RunnerTest, JavaOnlyIn64BitSystemIsFoundAndStartedWithRedirectionOff) {
    WriteParameters("-jar app.jar");
    PlaceJavaInNativeSystem();
    // Old on purpose: with redirection off the version is not read, so no M3 may appear.
    SetCurrentVersion("1.5");
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {});
    EXPECT_EQ(outcome.probes.size(), 1u);
    ExpectLaunch(outcome, "java.exe -jar app.jar");
}

TEST_F(RunnerTest, WorkedExampleJoinsLinesAndQuotesArguments) {
    WriteParameters("-Xmx512m \r\n-jar app.jar\r\n");
    PlaceJavaBesideRunner();
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("runner.exe one \"two words\"");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {});
    ExpectLaunch(outcome, "java.exe -Xmx512m -jar app.jar \"one\" \"two words\"");
    ASSERT_EQ(outcome.launches.size(), 1u);
    EXPECT_EQ(outcome.launches[0].arguments,
              (std::vector<std::string>{"-Xmx512m", "-jar", "app.jar", "one", "two words"}));
}

TEST_F(RunnerTest, ArgumentEndingInABackslashReachesJavaUnchanged) {
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("\"" + runner_ + "\" C:\\Data\\ next \"\"");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {});
    ExpectLaunch(outcome, "java.exe -jar app.jar \"C:\\Data\\\\\" \"next\"");
    ASSERT_EQ(outcome.launches.size(), 1u);
    EXPECT_EQ(outcome.launches[0].arguments,
              (std::vector<std::string>{"-jar", "app.jar", "C:\\Data\\", "next"}));
}

TEST_F(RunnerTest, ApplicationFolderWithBlanks) {
    MoveApplicationTo("Program Files (x86)");
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("\"" + runner_ + "\" --open \"" + appFolder_ + "\"");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {});
    ExpectLaunch(outcome, "java.exe -jar app.jar \"--open\" \"" + appFolder_ + "\"");
}

TEST_F(RunnerTest, ZeroByteInTheParametersEndsTheCommandLine) {
    using namespace std::string_literals;
    WriteParameters("-jar app.jar\0-Dlost=1\r\n-Dlost=2"s);
    PlaceJavaBesideRunner();
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("runner.exe lost");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {});
    ExpectLaunch(outcome, "java.exe -jar app.jar");
}

TEST_F(RunnerTest, FileHeldOpenForWritingShowsM1) {
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    SetCurrentVersion("1.8");
    HANDLE writer =
        CreateFileA((appFolder_ + "\\parametry.txt").c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const Outcome outcome = Run("runner.exe");
    CloseHandle(writer);
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {kNoParameters});
    EXPECT_TRUE(outcome.launches.empty());
}

}  // namespace

// The 64-bit bridge beside runner.exe, as the installation puts it there.
void PlaceX64Bridge(const std::string& appFolder) {
    const std::string folder = appFolder + "\\x64";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    WriteWholeFile(folder + "\\scanbridge.dll", "MZ");
}

std::string OwnPath() {
    char path[32768] = {};
    GetEnvironmentVariableA("PATH", path, sizeof(path));
    return path;
}

TEST_F(RunnerTest, A64BitJavaGetsThe64BitBridgeFirstOnItsPathAndTheSameCommandLine) {
    WriteParameters("-Xmx512m \r\n-jar app.jar\r\n");
    PlaceJavaBesideRunner(KORVELO_FAKE_JAVA64_EXE);
    PlaceX64Bridge(appFolder_);
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("runner.exe one");
    ExpectEndedWithZero(outcome);
    ExpectBoxes(outcome, {});
    ExpectLaunch(outcome, "java.exe -Xmx512m -jar app.jar \"one\"");
    ASSERT_EQ(outcome.launches.size(), 1u);
    EXPECT_EQ(outcome.launches[0].path, appFolder_ + "\\x64;" + OwnPath());
}

TEST_F(RunnerTest, A64BitJavaOnlyIn64BitSystemGetsThe64BitBridgeToo) {
    WriteParameters("-jar app.jar");
    PlaceJavaInNativeSystem(KORVELO_FAKE_JAVA64_EXE);
    PlaceX64Bridge(appFolder_);
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectLaunch(outcome, "java.exe -jar app.jar");
    ASSERT_EQ(outcome.launches.size(), 1u);
    EXPECT_EQ(outcome.launches[0].path, appFolder_ + "\\x64;" + OwnPath());
}

// Also on a 32-bit Windows, where no 64-bit program runs.
TEST_F(RunnerTest, A32BitJavaKeepsItsPathBesideThe64BitBridge) {
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner();
    PlaceX64Bridge(appFolder_);
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectLaunch(outcome, "java.exe -jar app.jar");
    ASSERT_EQ(outcome.launches.size(), 1u);
    EXPECT_EQ(outcome.launches[0].path, OwnPath());
}

TEST_F(RunnerTest, A64BitJavaKeepsItsPathWithoutThe64BitBridge) {
    WriteParameters("-jar app.jar");
    PlaceJavaBesideRunner(KORVELO_FAKE_JAVA64_EXE);
    SetCurrentVersion("1.8");
    const Outcome outcome = Run("runner.exe");
    ExpectEndedWithZero(outcome);
    ExpectLaunch(outcome, "java.exe -jar app.jar");
    ASSERT_EQ(outcome.launches.size(), 1u);
    EXPECT_EQ(outcome.launches[0].path, OwnPath());
}
