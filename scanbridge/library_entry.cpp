// clang-format off
#include <windows.h>
// clang-format on

#include "extension_module.h"
#include "image_delivery.h"
#include "scan_manager.h"

namespace {

// Constructed with the library's static objects, before DllMain runs, and
// destroyed with them at unload, which closes the source and the manager.
ScanManager manager;
ExtensionModule extension;
HINSTANCE instance = nullptr;

}  // namespace

ScanEngine& TheScanEngine() { return manager; }

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
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
            TermExtensionModule(extension);
            return TRUE;
        default:
            return TRUE;
    }
}
