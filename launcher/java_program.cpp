#include "java_program.h"

#include <vector>

#include "win32_handles.h"

namespace {

const char* const kJava = "java.exe";

std::string InFolder(std::string folder) {
    if (folder.empty()) return std::string();
    if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
    return folder + kJava;
}

std::string Text(UINT (*get)(LPSTR, UINT)) {
    char buffer[MAX_PATH] = {};
    const UINT length = get(buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(buffer, length) : std::string();
}

UINT CurrentFolder(LPSTR buffer, UINT size) { return GetCurrentDirectoryA(size, buffer); }
UINT SystemFolder(LPSTR buffer, UINT size) { return GetSystemDirectoryA(buffer, size); }
UINT WindowsFolder(LPSTR buffer, UINT size) { return GetWindowsDirectoryA(buffer, size); }

bool Read(HANDLE file, LONG offset, void* into, DWORD size) {
    if (SetFilePointer(file, offset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    DWORD read = 0;
    return ReadFile(file, into, size, &read, nullptr) && read == size;
}

}  // namespace

bool IsFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string FindJavaLikeCreateProcess(const std::string& ownFolder) {
    const std::string windows = Text(WindowsFolder);
    const std::string fixed[] = {ownFolder, Text(CurrentFolder), Text(SystemFolder),
                                 windows.empty() ? std::string() : windows + "\\System", windows};
    for (const std::string& folder : fixed) {
        const std::string candidate = InFolder(folder);
        if (!candidate.empty() && IsFile(candidate)) return candidate;
    }
    const DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size == 0) return std::string();
    std::vector<char> path(size);
    const DWORD length = GetEnvironmentVariableA("PATH", path.data(), size);
    if (length == 0 || length >= size) return std::string();
    const std::string list(path.data(), length);
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t end = list.find(';', start);
        const std::size_t stop = end == std::string::npos ? list.size() : end;
        std::string folder = list.substr(start, stop - start);
        // A quoted entry names the folder between its quotes.
        if (folder.size() >= 2 && folder.front() == '"' && folder.back() == '"')
            folder = folder.substr(1, folder.size() - 2);
        const std::string candidate = InFolder(folder);
        if (!candidate.empty() && IsFile(candidate)) return candidate;
        start = stop + 1;
    }
    return std::string();
}

bool IsX64Program(const std::string& path) {
    const FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    IMAGE_DOS_HEADER dos = {};
    if (!Read(file.get(), 0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        dos.e_lfanew <= 0)
        return false;
    DWORD signature = 0;
    IMAGE_FILE_HEADER header = {};
    if (!Read(file.get(), dos.e_lfanew, &signature, sizeof(signature)) ||
        signature != IMAGE_NT_SIGNATURE ||
        !Read(file.get(), dos.e_lfanew + static_cast<LONG>(sizeof(signature)), &header,
              sizeof(header)))
        return false;
    return header.Machine == IMAGE_FILE_MACHINE_AMD64;
}
