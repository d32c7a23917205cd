#pragma once

#include <windows.h>

#include <string>

#include "win32_handles.h"

// The launcher's main window. It is never shown: its creation runs the whole launch sequence
// (FormCreate), which ends the process before the message loop could show it.
class TForm1 {
public:
    TForm1();

    // Creates the window, owned by the application window; creation runs FormCreate. False
    // when the window could not be created, so FormCreate has not run.
    bool Create(HINSTANCE instance, HWND owner);

    // The launch sequence. Never returns: every path ends the process with exit code 0.
    [[noreturn]] void FormCreate(void* sender);

    // Whether the shell can start java.exe at all.
    bool ProbeJava();
    // Whether this 32-bit process runs on 64-bit Windows.
    bool IsWow64();
    // Switches WOW64 file-system redirection off for this thread, for good.
    void DisableFsRedirection();
    // The version number of the installed Java runtime from the registry, or -1. The classic
    // key is read first, then those of Java 9 and later; the first with a CurrentVersion counts.
    int ReadJavaVersion();
    bool HasRequiredJava();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    bool ReadParameters();
    void StartJava();
    // The environment for java.exe when it differs from this process's own, else empty.
    std::string JavaEnvironment();

    HWND handle_ = nullptr;
    FontHandle font_;
    std::string parameters_;
    std::string appPath_;
    bool foundDirectly_ = false;
    bool foundWithRedirectionOff_ = false;
};

extern TForm1* Form1;
