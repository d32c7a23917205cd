// clang-format off
#include <windows.h>
// clang-format on

#include "extension_module.h"
#include "image_delivery.h"
#include "scan_manager.h"
#include "trace.h"

namespace {

trace::Session traceSession("bridge");
// Constructed with the library's static objects, before DllMain runs, and
// destroyed with them at unload, which closes the source and the manager.
ScanManager manager;
ExtensionModule extension;
HINSTANCE instance = nullptr;

}  // namespace

ScanEngine& TheScanEngine() { return manager; }

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            instance = module;
            if (!InitExtensionModule(extension, module)) return FALSE;
            ChainExtensionModule(extension);
            // Accepted even when no TWAIN manager is installed: the natives
            // then answer false or empty.
            manager.Attach(instance, DeliverImage);
            return TRUE;
        case DLL_PROCESS_DETACH:
            // A reserved argument means the process is ending, and then no
            // DLL may call into another: TWAIN_32.DLL may already be
            // detached. The manager's destruction, which runs with the static
            // objects after this, then closes nothing. FreeLibrary still
            // closes the source and the manager as it always did.
            if (reserved != nullptr) manager.LeaveToSystem();
            TermExtensionModule(extension);
            return TRUE;
        default:
            return TRUE;
    }
}
