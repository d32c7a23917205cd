#include "application.h"

TApplication Application;

namespace {
const char* const kApplicationClass = "TApplication";
}

void TApplication::Initialize(HINSTANCE instance) {
    instance_ = instance;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kApplicationClass;
    RegisterClassA(&windowClass);
    // Never visible: it exists so that the title and the ownership of windows have a home.
    handle_ = CreateWindowExA(0, kApplicationClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              instance, nullptr);
}

void TApplication::SetTitle(const std::string& title) {
    if (handle_ != nullptr) SetWindowTextA(handle_, title.c_str());
}

void TApplication::Run() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
