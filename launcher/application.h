#pragma once

#include <windows.h>

#include <string>

// The GUI application of the process: a hidden top-level window that carries the
// application's title and owns the main window, and the message loop.
class TApplication {
public:
    void Initialize(HINSTANCE instance);
    void SetTitle(const std::string& title);
    HINSTANCE instance() const { return instance_; }
    HWND handle() const { return handle_; }
    void Run();

private:
    HINSTANCE instance_ = nullptr;
    HWND handle_ = nullptr;
};

extern TApplication Application;
