#pragma once

// For the tests that meet the virtual scanner through Wine's own TWAIN
// manager. That manager does not search C:\windows\twain_32 for drivers: it
// only loads the two data sources of its own, sane.ds and gphoto2.ds, by
// those names. So the virtual scanner beside the test program is installed
// as C:\windows\twain_32\sane.ds of the test's own Wine prefix, which no
// other test uses.

#include <gtest/gtest.h>

// clang-format off
#include <windows.h>
// clang-format on

#include <string>

inline constexpr char16_t kScannerName[] = u"Korvelo Virtual Scanner";
inline constexpr wchar_t kDialogCaption[] = L"Korvelo Virtual Scanner";

inline std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

class VirtualScannerInstalled : public ::testing::Environment {
public:
    void SetUp() override {
        wchar_t windows[MAX_PATH] = {};
        ASSERT_NE(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
        const std::wstring folder = std::wstring(windows) + L"\\twain_32";
        CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring source = ProgramFolder() + L"KorveloVirtualScanner.ds";
        ASSERT_TRUE(CopyFileW(source.c_str(), (folder + L"\\sane.ds").c_str(), FALSE))
            << "cannot install the virtual scanner, error " << GetLastError();
    }
};

inline const auto* const kVirtualScannerInstalled =
    ::testing::AddGlobalTestEnvironment(new VirtualScannerInstalled);
