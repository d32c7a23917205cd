// The entry a TWAIN manager calls: every request, by its triplet, to the one
// virtual source of the process.

#include "virtual_source.h"

namespace {

HINSTANCE g_module = nullptr;

VirtualSource& Source() {
    static VirtualSource source(g_module);
    return source;
}

template <typename Record>
Record* As(TW_MEMREF data) {
    return static_cast<Record*>(data);
}

TW_UINT16 Control(VirtualSource& source, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    switch (dat) {
        case DAT_IDENTITY:
            switch (msg) {
                case MSG_GET:
                    return source.GetIdentity(*As<TW_IDENTITY>(data));
                case MSG_OPENDS:
                    return source.OpenDs(*As<TW_IDENTITY>(data));
                case MSG_CLOSEDS:
                    return source.CloseDs();
                default:
                    return source.Unsupported();
            }
        case DAT_STATUS:
            if (msg != MSG_GET) return source.Unsupported();
            return source.GetStatus(*As<TW_STATUS>(data));
        case DAT_USERINTERFACE:
            switch (msg) {
                case MSG_ENABLEDS:
                    return source.EnableDs(*As<TW_USERINTERFACE>(data));
                case MSG_DISABLEDS:
                    return source.DisableDs();
                default:
                    return source.Unsupported();
            }
        case DAT_EVENT:
            if (msg != MSG_PROCESSEVENT) return source.Unsupported();
            return source.ProcessEvent(*As<TW_EVENT>(data));
        case DAT_CAPABILITY:
            return source.Capability(msg, *As<TW_CAPABILITY>(data));
        case DAT_PENDINGXFERS:
            switch (msg) {
                case MSG_GET:
                    return source.GetPendingTransfers(*As<TW_PENDINGXFERS>(data));
                case MSG_ENDXFER:
                    return source.EndTransfer(*As<TW_PENDINGXFERS>(data));
                case MSG_RESET:
                    return source.ResetTransfers(*As<TW_PENDINGXFERS>(data));
                default:
                    return source.Unsupported();
            }
        default:
            return source.Unsupported();
    }
}

TW_UINT16 Image(VirtualSource& source, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (msg != MSG_GET) return source.Unsupported();
    switch (dat) {
        case DAT_IMAGEINFO:
            return source.GetImageInfo(*As<TW_IMAGEINFO>(data));
        case DAT_IMAGENATIVEXFER:
            return source.NativeTransfer(*As<TW_HANDLE>(data));
        default:
            return source.Unsupported();
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}

// pOrigin is not read: a manager probing its sources calls with one that
// holds nothing.
TW_UINT16 PASCAL DS_Entry(pTW_IDENTITY, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                          TW_MEMREF pData) {
    VirtualSource& source = Source();
    // Every request of this source carries a record.
    if (pData == nullptr) return source.BadData();
    switch (DG) {
        case DG_CONTROL:
            return Control(source, DAT, MSG, pData);
        case DG_IMAGE:
            return Image(source, DAT, MSG, pData);
        default:
            return source.Unsupported();
    }
}
