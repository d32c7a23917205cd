// A stand-in for java.exe. It records how it was started, one file per start in the folder
// named by KORVELO_JAVA_RECORDS: its raw command line, its current directory, the show flags
// of its start-up record, its PATH, and the arguments as the C runtime splits them (the way
// java.exe itself reads its command line). Then it ends.
#include <windows.h>

#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char folder[MAX_PATH] = {};
    if (GetEnvironmentVariableA("KORVELO_JAVA_RECORDS", folder, MAX_PATH) == 0) return 0;
    char directory[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, directory);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);

    std::string record = GetCommandLineA();
    record += "\n";
    record += directory;
    record += "\n";
    record += std::to_string(startup.dwFlags & STARTF_USESHOWWINDOW) + " " +
              std::to_string(startup.wShowWindow) + "\n";
    char path[32768] = {};
    GetEnvironmentVariableA("PATH", path, sizeof(path));
    record += std::string(path) + "\n";
    for (int i = 1; i < __argc; ++i) record += std::string(__argv[i]) + "\n";

    // Written under a temporary name and renamed, so that a reader never sees half a record.
    const std::string name =
        std::string(folder) + "\\java-" + std::to_string(GetCurrentProcessId());
    const std::string partial = name + ".part";
    HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    MoveFileA(partial.c_str(), (name + ".rec").c_str());
    return 0;
}
