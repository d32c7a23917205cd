#include "hlavni.h"

#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "command_line.h"
#include "environment_block.h"
#include "error_box.h"
#include "java_program.h"
#include "java_version.h"
#include "log.h"
#include "messages.h"
#include "parameters_file.h"

TForm1* Form1 = nullptr;

namespace {

const char* const kWindowClass = "TForm1";
const char* const kCaption = "Korvelo Runner";
constexpr int kClientWidth = 554;
constexpr int kClientHeight = 292;
// Tahoma 8 pt at 96 pixels per inch; its text height is 13.
constexpr int kFontHeight = -11;

const char* const kParametersFileName = "parametry.txt";
const char* const kJavaKeyPath = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
// Java 9 and later no longer register under the key above, only under one of these.
const char* const kNewerJavaKeyPaths[] = {"SOFTWARE\\JavaSoft\\JRE", "SOFTWARE\\JavaSoft\\JDK"};
const char* const kVersionValueName = "CurrentVersion";

// The shell's convention: a result above 32 means the program was started.
constexpr INT_PTR kShellSuccessAbove = 32;

// GetProcAddress gives a generic function pointer; going through void(*)() tells the
// compiler the cast to the real signature is meant.
template <typename Function>
Function KernelFunction(const char* name) {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(kernel, name)));
}

std::string OwnDirectory() {
    std::vector<char> path(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return std::string();
        if (length < path.size()) {
            std::string file(path.data(), length);
            return file.substr(0, file.find_last_of("\\/") + 1);
        }
        path.resize(path.size() * 2);
    }
}

// The CurrentVersion text under this key of HKEY_LOCAL_MACHINE; nothing when the key or the
// value is missing.
std::optional<std::string> CurrentVersionUnder(const char* keyPath) {
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        return std::nullopt;
    }

    LogMessage(kValueExistsStage);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), kVersionValueName, nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }

    LogMessage(kReadingValueStage);
    if (size == 0) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        throw std::runtime_error("CurrentVersion: the registry value is not a string");
    }
    // One more zero than asked for, since a stored string need not end in one.
    std::vector<char> data(size + 1, '\0');
    DWORD read = size;
    if (RegQueryValueExA(key.get(), kVersionValueName, nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &read) != ERROR_SUCCESS) {
        throw std::runtime_error("CurrentVersion: the registry value cannot be read");
    }
    return std::string(data.data());
}

}  // namespace

TForm1::TForm1()
    : font_(CreateFontA(kFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        DEFAULT_PITCH | FF_DONTCARE, "Tahoma")) {}

bool TForm1::Create(HINSTANCE instance, HWND owner) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    RegisterClassA(&windowClass);

    const DWORD style = WS_OVERLAPPEDWINDOW;  // no WS_VISIBLE: the window is never shown
    RECT frame = {0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    return CreateWindowExA(0, kWindowClass, kCaption, style, 0, 0, frame.right - frame.left,
                           frame.bottom - frame.top, owner, nullptr, instance, this) != nullptr;
}

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        form->handle_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    if (message == WM_CREATE) {
        auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(form->font_.get()), FALSE);
        form->FormCreate(form);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void TForm1::FormCreate(void* /*sender*/) {
    LogMessage(kReadingParametersStage);
    if (!ReadParameters()) {
        ShowErrorBox(NoParametersMessage());
        ExitProcess(0);
    }

    try {
        LogMessage(kDetectingJavaStage);

        LogMessage(kProbingJavaStage);
        if (ProbeJava()) {
            foundDirectly_ = true;
        } else if (IsWow64()) {
            // A 64-bit Java lives in the real system32, which a 32-bit process only sees with
            // redirection off; it stays off so that the start below finds the same java.exe.
            DisableFsRedirection();
            foundWithRedirectionOff_ = ProbeJava();
        }
        if (!foundDirectly_ && !foundWithRedirectionOff_) {
            ShowErrorBox(NoJavaMessage());
            ExitProcess(0);
        }

        LogMessage(kCheckingVersionStage);
        // A Java found only with redirection off is a 64-bit one, whose registry entry this
        // 32-bit process does not see.
        if (!foundWithRedirectionOff_ && !HasRequiredJava()) ShowErrorBox(OldJavaMessage());

        parameters_ += QuoteArguments(GetCommandLineA());
        LogMessage(kStartingStage + parameters_);
        LogMessage(kAppPathStage + appPath_);

        SetCurrentDirectoryA(appPath_.c_str());
        StartJava();
    } catch (const std::exception& failure) {
        ShowErrorBox(LaunchFailureMessage(failure.what()));
    }
    ExitProcess(0);
}

bool TForm1::ReadParameters() {
    try {
        appPath_ = OwnDirectory();
        if (appPath_.empty()) return false;
        const std::string path = appPath_ + kParametersFileName;
        // Others may only read meanwhile, so a file being written is not read half-done.
        FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return false;

        std::string bytes;
        std::vector<char> chunk(64 * 1024);
        for (;;) {
            DWORD read = 0;
            if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read,
                          nullptr)) {
                return false;
            }
            if (read == 0) break;
            bytes.append(chunk.data(), read);
        }
        parameters_ = ParametersFromBytes(bytes);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TForm1::ProbeJava() {
    const HINSTANCE result =
        ShellExecuteA(handle_, "open", "java.exe", "--version", nullptr, SW_HIDE);
    return reinterpret_cast<INT_PTR>(result) > kShellSuccessAbove;
}

bool TForm1::IsWow64() {
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64Process = KernelFunction<IsWow64ProcessFunction>("IsWow64Process");
    if (isWow64Process == nullptr) return false;  // older than XP SP2: never 64-bit
    BOOL wow64 = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &wow64)) {
        throw std::runtime_error("IsWow64: bad process handle");
    }
    return wow64 != FALSE;
}

void TForm1::DisableFsRedirection() {
    using DisableFunction = BOOL(WINAPI*)(PVOID*);
    const auto disable = KernelFunction<DisableFunction>("Wow64DisableWow64FsRedirection");
    if (disable == nullptr) return;
    // The previous state is never restored: redirection stays off until the process ends.
    PVOID previous = nullptr;
    disable(&previous);
}

int TForm1::ReadJavaVersion() {
    LogMessage(kJavaKeyStage);
    std::optional<std::string> text = CurrentVersionUnder(kJavaKeyPath);
    // Only a missing key or value passes on to the next key; a value that gives no version
    // number still decides.
    for (const char* path : kNewerJavaKeyPaths) {
        if (text) break;
        LogMessage(path);
        text = CurrentVersionUnder(path);
    }
    if (!text) return -1;

    const int version = JavaVersionFromText(*text);
    if (version >= 0) LogMessage(kVersionNumberStage + std::to_string(version));
    return version;
}

bool TForm1::HasRequiredJava() { return ReadJavaVersion() >= RequiredJavaVersion; }

std::string TForm1::JavaEnvironment() {
    // A 64-bit Java can load only the 64-bit scanner bridge, which is installed in the x64
    // folder; a Windows JVM looks for libraries on PATH before the current folder. Only the
    // child's PATH changes: the search for java.exe itself keeps this process's.
    const std::string bridgeFolder = appPath_ + "x64";
    const std::string java = FindJavaLikeCreateProcess(appPath_);
    if (java.empty() || !IsX64Program(java) || !IsFile(bridgeFolder + "\\scanbridge.dll"))
        return std::string();
    char* current = GetEnvironmentStringsA();
    if (current == nullptr) return std::string();
    std::string environment = EnvironmentWithPathFirst(current, bridgeFolder);
    FreeEnvironmentStringsA(current);
    return environment;
}

void TForm1::StartJava() {
    const std::string commandLine = JavaCommandLine(parameters_);
    // CreateProcessA may write into the command line, so it gets a copy of its own.
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;  // java.exe is a console program; its console stays hidden
    PROCESS_INFORMATION process = {};
    const std::string environment = JavaEnvironment();
    void* block = environment.empty() ? nullptr : const_cast<char*>(environment.data());
    if (CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, block,
                       appPath_.c_str(), &startup, &process)) {
        FileHandle thread(process.hThread);
        FileHandle started(process.hProcess);
    }
}
