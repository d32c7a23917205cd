#pragma once

// The virtual scanner as a TWAIN manager sees it: the .ds loaded by
// LoadLibrary and every request sent to its DS_Entry, with the small pieces of
// a manager's and an application's work that the tests need (containers,
// the message pump that hands each message to the source).

// clang-format off
#include <windows.h>
#include <twain.h>
// clang-format on

#include <cstring>
#include <string>

class DataSource {
public:
    DataSource()
        : module_(LoadLibraryW(L"KorveloVirtualScanner.ds")),
          entry_(reinterpret_cast<DSENTRYPROC>(
              reinterpret_cast<void*>(GetProcAddress(module_, "DS_Entry")))) {}
    ~DataSource() {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    bool Loaded() const { return entry_ != nullptr; }

    TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
        return entry_(&application_, dg, dat, msg, data);
    }

    // DG_CONTROL/DAT_STATUS/MSG_GET
    TW_UINT16 Condition() {
        TW_STATUS status{};
        Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
        return status.ConditionCode;
    }

    // The manager gives the source its Id and identity when opening it.
    TW_UINT16 Open() {
        identity_ = TW_IDENTITY{};
        identity_.Id = 7;
        Call(DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity_);
        return Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity_);
    }
    TW_UINT16 Close() { return Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &identity_); }

    TW_UINT16 Enable(bool showUI, HWND parent = nullptr) {
        TW_USERINTERFACE ui{};
        ui.ShowUI = showUI ? TRUE : FALSE;
        ui.hParent = parent;
        return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    }
    TW_UINT16 Disable() {
        TW_USERINTERFACE ui{};
        return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
    }

    TW_UINT16 Pending(TW_UINT16 msg, TW_UINT16& count) {
        TW_PENDINGXFERS pending{};
        pending.Count = 0xBEEF;
        const TW_UINT16 result = Call(DG_CONTROL, DAT_PENDINGXFERS, msg, &pending);
        count = pending.Count;
        return result;
    }

    // Sets a capability with a one-value container of the given item.
    TW_UINT16 SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 item) {
        HGLOBAL block = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
        auto* one = static_cast<pTW_ONEVALUE>(GlobalLock(block));
        one->ItemType = itemType;
        one->Item = item;
        GlobalUnlock(block);
        TW_CAPABILITY capability{cap, TWON_ONEVALUE, block};
        const TW_UINT16 result = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
        GlobalFree(block);
        return result;
    }

    // A get request's one-value answer: its item type and item; the
    // container is freed, as an application must.
    TW_UINT16 GetOneValue(TW_UINT16 msg, TW_UINT16 cap, TW_UINT16& itemType, TW_UINT32& item) {
        TW_CAPABILITY capability{cap, TWON_DONTCARE16, nullptr};
        const TW_UINT16 result = Call(DG_CONTROL, DAT_CAPABILITY, msg, &capability);
        itemType = 0xFFFF;
        item = 0xFFFFFFFF;
        if (result != TWRC_SUCCESS) return result;
        if (capability.ConType != TWON_ONEVALUE) return 0xFFFF;
        const auto* one = static_cast<const TW_ONEVALUE*>(GlobalLock(capability.hContainer));
        itemType = one->ItemType;
        item = one->Item;
        GlobalUnlock(capability.hContainer);
        GlobalFree(capability.hContainer);
        return result;
    }

    // Pumps this thread's messages for up to ms milliseconds, each one
    // through the source first, as an application does while the source is
    // enabled; answers the first notification, or MSG_NULL.
    TW_UINT16 PumpForNotification(DWORD ms) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < ms) {
            MSG message;
            if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                Sleep(5);
                continue;
            }
            TW_EVENT event{&message, MSG_NULL};
            if (Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) == TWRC_DSEVENT) {
                if (event.TWMessage != MSG_NULL) {
                    lastNotification = message;
                    return event.TWMessage;
                }
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return MSG_NULL;
    }

    // The window message that carried the last notification.
    MSG lastNotification{};

private:
    HMODULE module_;
    DSENTRYPROC entry_;
    TW_IDENTITY application_{};
    TW_IDENTITY identity_{};
};
