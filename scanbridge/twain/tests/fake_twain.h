#pragma once

// The test TWAIN manager: a TWAIN_32.DLL that plays the manager and its data
// sources, answers as the test scripts it and records every request. Tests
// link its import library; the code under test reaches the same module
// through its own LoadLibrary and DSM_Entry at ordinal 1.

// clang-format off
#include <windows.h>
#include <twain.h>
// clang-format on

#ifdef FAKE_TWAIN_BUILD
#define FAKE_TWAIN_API extern "C"
#else
#define FAKE_TWAIN_API extern "C" __declspec(dllimport)
#endif

// One request as the manager received it.
struct FakeTwainRequest {
    BOOL hasOrigin;
    BOOL hasDestination;
    TW_IDENTITY origin;       // copies taken on arrival
    TW_IDENTITY destination;  // all zero without a destination
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    TW_UINT16 returnCode;  // what the manager answered
    // DAT_CAPABILITY: the capability record; for MSG_SET also the container.
    TW_UINT16 cap;
    TW_UINT16 conType;
    BOOL hasContainer;
    TW_UINT16 itemType;
    TW_UINT32 value;
    SIZE_T containerSize;
    BOOL containerMovable;
    // DAT_PARENT: the window handed over; DAT_USERINTERFACE: ShowUI, hParent.
    HWND window;
    TW_BOOL showUI;
    DWORD thread;  // the thread that made the request
};

// Wildcard for the capability of a scripted answer.
#define FAKE_TWAIN_ANY_CAP 0

// Misbehaviours a test can switch on (FakeTwain_SetFault).
#define FAKE_TWAIN_FAULT_SHORT_CONTAINER 1  // MSG_GET hands over a 2-byte container
#define FAKE_TWAIN_FAULT_NULL_CONTAINER 2   // MSG_GET succeeds with no container
#define FAKE_TWAIN_FAULT_NULL_IMAGE 3       // TWRC_XFERDONE with no image handle
#define FAKE_TWAIN_FAULT_IMAGEINFO_FAILS 4  // DAT_IMAGEINFO answers TWRC_FAILURE
#define FAKE_TWAIN_FAULT_TWO_XFERREADY 5    // every MSG_XFERREADY is posted twice
#define FAKE_TWAIN_FAULT_REFUSE_DISABLE 6   // MSG_DISABLEDS answers TWRC_FAILURE
#define FAKE_TWAIN_FAULT_REFUSE_CLOSE 7     // MSG_CLOSEDS answers TWRC_FAILURE
// MSG_OPENDS with an all-zero identity is refused instead of opening the
// default source: Wine's manager hands such a request on to the source, and
// its own sources refuse it.
#define FAKE_TWAIN_FAULT_REFUSE_EMPTY_OPEN 8

// How a completed native transfer hands its image over (FakeTwain_SetImageForm).
#define FAKE_TWAIN_FORM_BLOCK 0    // a movable global block, as TWAIN asks
#define FAKE_TWAIN_FORM_BITMAP 1   // a GDI bitmap, a top-down DIB section, as gphoto2.ds does
#define FAKE_TWAIN_FORM_FOREIGN 2  // a handle of neither kind (an event)
// A movable block whose memory was discarded: a valid handle of size 0.
#define FAKE_TWAIN_FORM_DISCARDED 3
// The handle given with FakeTwain_SetImageHandle, which stays the test's.
#define FAKE_TWAIN_FORM_GIVEN 4
#define FAKE_TWAIN_FORM_GIVEN_BITMAP 5  // FakeTwain_SetImageBitmap

// How the source's notifications reach the application (FakeTwain_SetNotifyStyle).
// Wine's manager: the notification itself, posted to the window of MSG_ENABLEDS.
#define FAKE_TWAIN_NOTIFY_ENABLE_WINDOW 0
// The TWAIN 2 manager, for an application without a callback: the
// notification is held for the source, a WM_NULL is posted to the window of
// MSG_OPENDSM, and the next MSG_PROCESSEVENT of any message hands it over.
#define FAKE_TWAIN_NOTIFY_MANAGER_WAKEUP 1

// With the environment variable FAKE_TWAIN_LOG naming a file, the manager
// appends one line per request ("DAT/MSG") and "detach" or "detach at exit"
// when it is unloaded, so a test can see what reached it while its process
// ended.
//
// With FAKE_TWAIN_PAGES=N, for programs in another process that cannot
// script the manager: one default source "Pages", N A4 colour pages at
// 300 dpi ready at every MSG_ENABLEDS, no request records, and at unload,
// before "detach", a line "transferred HIGH LOW" for every page handed over:
// the performance counter when its transfer request returned.

// Back to a bare machine: no sources, no scripts, no records, manager closed,
// no tracked memory. Blocks already handed out are left alone.
FAKE_TWAIN_API void FakeTwain_Reset(void);

// An installed source. name: the first min(length, 34) bytes become the
// ProductName, so a 34-byte name has no terminating zero. Answers its Id.
FAKE_TWAIN_API TW_UINT32 FakeTwain_AddSource(const char* name, UINT length, BOOL isDefault);

// The answer and condition code of a request, instead of its own handling
// (which then does not happen). cap narrows DAT_CAPABILITY requests; use
// FAKE_TWAIN_ANY_CAP otherwise. SetAnswer holds until Reset; PushAnswer is
// used once, before any SetAnswer, in the order pushed.
FAKE_TWAIN_API void FakeTwain_SetAnswer(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 cap,
                                        TW_UINT16 returnCode, TW_UINT16 conditionCode);
FAKE_TWAIN_API void FakeTwain_PushAnswer(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 cap,
                                         TW_UINT16 returnCode, TW_UINT16 conditionCode);

// A capability's current value as MSG_GET reports it and MSG_SET changes it.
// CAP_XFERCOUNT starts as TWTY_INT16 0xFFFF, the rest as TWTY_UINT16 0.
FAKE_TWAIN_API void FakeTwain_SetCapValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value);
FAKE_TWAIN_API BOOL FakeTwain_GetCapValue(TW_UINT16 cap, TW_UINT16* itemType, TW_UINT32* value);

// The next image of the open source. outcome: TWRC_XFERDONE hands over a
// fresh GlobalAlloc block holding a copy of the bytes; TWRC_CANCEL and
// TWRC_FAILURE hand over nothing. pendingAfter: the Count MSG_ENDXFER
// answers after this image (0xFFFF allowed).
FAKE_TWAIN_API void FakeTwain_AddImage(const void* dib, UINT size, TW_UINT16 outcome,
                                       TW_UINT16 pendingAfter);

// A notification from the source, posted to the parent window of
// MSG_ENABLEDS as the window message FakeTwain_NotifyMessage() with the
// notification in wParam; held back until the source is enabled.
// MSG_XFERREADY moves the source to the transfer-ready state.
FAKE_TWAIN_API void FakeTwain_PostNotification(TW_UINT16 notification);
FAKE_TWAIN_API UINT FakeTwain_NotifyMessage(void);

// A fault for the whole manager, until switched off or Reset.
FAKE_TWAIN_API void FakeTwain_SetFault(UINT fault, BOOL on);
// A fault of the image added last only (FAKE_TWAIN_FAULT_IMAGEINFO_FAILS,
// FAKE_TWAIN_FAULT_NULL_IMAGE), so that one page of a batch misbehaves.
FAKE_TWAIN_API void FakeTwain_SetImageFault(UINT fault);

// The form in which the image added last is handed over.
FAKE_TWAIN_API void FakeTwain_SetImageForm(UINT form);
// The image added last is handed over as this handle of the test's own
// (FAKE_TWAIN_FORM_GIVEN); GlobalFree and DeleteObject calls on it are counted
// as foreign and not passed on.
FAKE_TWAIN_API void FakeTwain_SetImageHandle(HANDLE handle);
// The image added last is handed over as this bitmap made by the test, which
// the program then owns as it would the manager's own.
FAKE_TWAIN_API void FakeTwain_SetImageBitmap(HBITMAP bitmap);
// DeleteObject calls of the program on handed-over handles that are not GDI
// objects (foreign ones).
FAKE_TWAIN_API UINT FakeTwain_ForeignDeletes(void);

FAKE_TWAIN_API void FakeTwain_SetNotifyStyle(UINT style);
// Bitmaps handed over that still exist; GlobalFree calls of the program on
// handed-over handles that were not global blocks (bitmaps, foreign ones).
FAKE_TWAIN_API UINT FakeTwain_LiveBitmaps(void);
FAKE_TWAIN_API UINT FakeTwain_ForeignFrees(void);

// The TWAIN state as the manager sees it: 2 loaded, 3 manager open, 4 source
// open, 5 enabled, 6 transfer ready, 7 transferring.
FAKE_TWAIN_API UINT FakeTwain_State(void);

FAKE_TWAIN_API UINT FakeTwain_RequestCount(void);
FAKE_TWAIN_API BOOL FakeTwain_GetRequest(UINT index, FakeTwainRequest* request);
FAKE_TWAIN_API void FakeTwain_ClearRequests(void);

// Global blocks that the manager handed out (images, MSG_GET containers) or
// received (MSG_SET containers) and that the program has not freed yet, and
// the GlobalFree calls on such a block after its first.
FAKE_TWAIN_API UINT FakeTwain_LiveBlocks(void);
FAKE_TWAIN_API UINT FakeTwain_RepeatedFrees(void);
