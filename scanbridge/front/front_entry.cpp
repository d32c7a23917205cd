// clang-format off
#include <windows.h>
// clang-format on

#include "extension_module.h"
#include "image_delivery.h"
#include "trace.h"
#include "worker_engine.h"

namespace {

trace::Session traceSession("front");
// Nothing is started here: the worker starts at the first request that
// needs it, outside the loader lock.
WorkerEngine engine(DeliverBmpFile);
ExtensionModule extension;

}  // namespace

ScanEngine& TheScanEngine() { return engine; }

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            if (!InitExtensionModule(extension, module)) return FALSE;
            ChainExtensionModule(extension);
            return TRUE;
        case DLL_PROCESS_DETACH:
            // At process exit nothing is waited for; the system ends the
            // worker with its job. FreeLibrary ends it here, after it closed
            // its source and manager.
            if (reserved != nullptr) engine.LeaveToSystem();
            TermExtensionModule(extension);
            return TRUE;
        default:
            return TRUE;
    }
}
