#pragma once

// clang-format off
#include <windows.h>
#include <twain.h>
// clang-format on

#include <atomic>
#include <string>

#include "global_memory.h"
#include "native_image.h"

static_assert(sizeof(TW_IDENTITY) == 156, "TW_IDENTITY must keep its 2-byte packed layout");

// The one conversation of this library with the TWAIN source manager: the
// manager itself, one data source, its capabilities and its image transfers.
// Every operation answers true only for TWRC_SUCCESS and leaves the manager's
// return code in LastReturnCode(); operations the TWAIN state does not allow
// answer false without sending anything.
class TwainSession {
public:
    // With a window, the manager is loaded and opened at once.
    explicit TwainSession(HWND parent = nullptr);
    virtual ~TwainSession();
    TwainSession(const TwainSession&) = delete;
    TwainSession& operator=(const TwainSession&) = delete;

    // The only way to the manager's entry. After any answer other than
    // TWRC_SUCCESS the status is fetched once, into the status field.
    bool DsmCall(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 group, TW_UINT16 dat,
                 TW_UINT16 msg, TW_MEMREF data);

    // Session core.
    bool LoadManager(HWND window);
    void UnloadManager();
    void CloseManager();
    // At process exit: forgets the manager without a request or a FreeLibrary,
    // since the system may already have detached TWAIN_32.DLL, and ends the
    // process's hold on it anyway.
    void AbandonManager();
    bool PickDefaultSource();
    // Without an identity the source identity is used as it stands.
    virtual bool OpenDataSource(const TW_IDENTITY* identity = nullptr);
    bool CloseDataSource();
    // Product names, each followed by a zero byte, closed by one more zero
    // byte; a lone zero byte when there is no source or no manager.
    std::string ListSourceNames();
    // name: ANSI bytes, compared byte for byte with the product names.
    bool OpenSourceByName(const char* name);
    bool StartSource(bool showUI);
    virtual bool StopSource();
    // The window that the source is enabled with, and so the one its
    // notifications are posted to; none gives it the manager's parent window.
    // It must belong to the thread that pumps the scan's messages.
    void SetSourceWindow(HWND window);

    bool IsDriverLoaded() const;
    bool IsManagerOpen() const;
    bool IsSourceOpen() const;
    bool IsSourceEnabled() const;
    TW_INT16 LastReturnCode() const;
    const TW_STATUS& Status() const;
    const TW_IDENTITY& AppIdentity() const;
    const TW_IDENTITY& SourceIdentity() const;

    // Capabilities, on the open source only. Values travel as 16 bits; wider
    // ones are cut to their low 16 bits.
    bool QueryCapability(TW_UINT16 cap, TW_UINT32& value);
    bool ApplyCapability(TW_UINT16 cap, TW_UINT16 value, bool isSigned);
    bool ApplyBoolCapability(TW_UINT16 cap, TW_UINT16 value);
    bool ApplyTransferCount(int count);
    bool ApplyPixelType(int type);
    bool ApplyResolution(int x, int y);
    bool ApplyDuplex(bool on);

    // Acquisition.
    // Opens the source of the current identity; while that is still empty,
    // the manager's default source, looked up first.
    bool OpenCurrentOrDefaultSource();
    bool BeginAcquisition(int count, bool showUI);
    // Answers whether the message was the source's (then it must not be
    // dispatched); the notification is written in every case.
    bool FilterEvent(MSG* message, TW_UINT16* notification);
    void OnSourceMessage(TW_UINT16 notification);
    void RunTransfers();
    // Both answer whether more images are to come.
    bool FetchNativeImage(const TW_IMAGEINFO& info);
    bool FinishTransfer();
    void AbortTransfers();
    // May be asked from any thread, also from the image hook: the image being
    // transferred completes, the source releases the rest of its batch
    // instead of sending it. Holds until cleared.
    void RequestStop();
    void ClearStopRequest();
    bool StopRequested() const;

protected:
    virtual void FillIdentity();
    // image: what the source handed over for the page, given back by the
    // caller afterwards.
    virtual void OnImage(const NativeImage& image, const TW_IMAGEINFO& info) = 0;

private:
    bool NextSource(TW_IDENTITY& identity, bool first);
    bool ApplyOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT16 value);

    LoadedLibrary library_;
    DSMENTRYPROC entry_ = nullptr;
    TW_IDENTITY appIdentity_{};
    TW_IDENTITY sourceIdentity_{};
    TW_STATUS status_{};
    TW_INT16 lastReturnCode_ = TWRC_SUCCESS;
    HWND parent_ = nullptr;
    HWND sourceWindow_ = nullptr;
    // The hParent of the last MSG_ENABLEDS, which MSG_DISABLEDS must repeat.
    HWND enabledWindow_ = nullptr;
    std::atomic<bool> stopRequested_{false};
    bool managerOpen_ = false;
    bool sourceOpen_ = false;
    bool sourceEnabled_ = false;
};
