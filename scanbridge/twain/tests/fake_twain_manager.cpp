// The test TWAIN manager with one kind of data source behind it. It keeps the
// TWAIN states of the manager and of one open source, refuses what a real
// manager refuses in each state, and otherwise answers as scripted.

#define FAKE_TWAIN_BUILD
#include "fake_twain.h"

#include "block_watch.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <vector>

namespace {

struct Source {
    TW_IDENTITY identity;
    bool isDefault;
};

struct Answer {
    TW_UINT32 dg;
    TW_UINT16 dat;
    TW_UINT16 msg;
    TW_UINT16 cap;
    TW_UINT16 returnCode;
    TW_UINT16 conditionCode;

    bool Matches(TW_UINT32 g, TW_UINT16 d, TW_UINT16 m, TW_UINT16 c) const {
        return dg == g && dat == d && msg == m && (cap == FAKE_TWAIN_ANY_CAP || cap == c);
    }
};

struct Image {
    std::vector<unsigned char> bytes;
    TW_UINT16 outcome;
    TW_UINT16 pendingAfter;
    std::set<UINT> faults;
    UINT form = FAKE_TWAIN_FORM_BLOCK;
    HANDLE given = nullptr;  // FAKE_TWAIN_FORM_GIVEN and _GIVEN_BITMAP
};

struct CapValue {
    TW_UINT16 itemType;
    TW_UINT32 value;
};

// TWAIN states.
constexpr UINT kLoaded = 2;
constexpr UINT kManagerOpen = 3;
constexpr UINT kSourceOpen = 4;
constexpr UINT kEnabled = 5;
constexpr UINT kTransferReady = 6;
constexpr UINT kTransferring = 7;

struct Manager {
    Manager() { caps[CAP_XFERCOUNT] = CapValue{TWTY_INT16, 0xFFFF}; }

    std::vector<Source> sources;
    std::vector<Answer> fixedAnswers;
    std::deque<Answer> onceAnswers;
    std::map<TW_UINT16, CapValue> caps;
    std::deque<Image> images;
    std::vector<TW_UINT16> heldNotifications;
    std::vector<FakeTwainRequest> requests;
    std::set<UINT> faults;
    UINT state = kLoaded;
    std::size_t nextSource = 0;
    int openSource = -1;
    HWND parent = nullptr;
    TW_UINT16 conditionCode = TWCC_SUCCESS;
    TW_UINT16 pendingAfter = 0;
    std::vector<HBITMAP> bitmaps;  // handed over
    std::vector<HANDLE> foreign;   // handed over, still the manager's own
    UINT notifyStyle = FAKE_TWAIN_NOTIFY_ENABLE_WINDOW;
    HWND managerWindow = nullptr;           // given at MSG_OPENDSM
    std::deque<TW_UINT16> pendingForEvent;  // FAKE_TWAIN_NOTIFY_MANAGER_WAKEUP
    UINT pagesPerScan = 0;                  // FAKE_TWAIN_PAGES
    std::vector<LONGLONG> transferEnds;     // of every page, for FAKE_TWAIN_LOG
};

Manager& TheManager() {
    static Manager manager;
    return manager;
}

UINT NotifyMessage() {
    static const UINT message = RegisterWindowMessageA("KorveloFakeTwainNotification");
    return message;
}

bool HasFault(UINT fault) { return TheManager().faults.count(fault) != 0; }

// The manager's own faults and those of the image the source would hand over
// next.
bool NextImageHasFault(UINT fault) {
    const Manager& m = TheManager();
    return HasFault(fault) || (!m.images.empty() && m.images.front().faults.count(fault) != 0);
}

std::size_t NameLength(const TW_IDENTITY& identity) {
    return strnlen(identity.ProductName, sizeof(identity.ProductName));
}

bool SameName(const TW_IDENTITY& a, const TW_IDENTITY& b) {
    return NameLength(a) == NameLength(b) &&
           std::memcmp(a.ProductName, b.ProductName, NameLength(a)) == 0;
}

void Deliver(TW_UINT16 notification) {
    Manager& m = TheManager();
    if (m.notifyStyle == FAKE_TWAIN_NOTIFY_MANAGER_WAKEUP) {
        m.pendingForEvent.push_back(notification);
        PostMessageA(m.managerWindow, WM_NULL, 0, 0);
    } else {
        PostMessageA(m.parent, NotifyMessage(), notification, 0);
    }
}

void Post(TW_UINT16 notification) {
    Manager& m = TheManager();
    if (notification == MSG_XFERREADY && m.state == kEnabled) m.state = kTransferReady;
    Deliver(notification);
    if (notification == MSG_XFERREADY && HasFault(FAKE_TWAIN_FAULT_TWO_XFERREADY)) {
        Deliver(notification);
    }
}

// The answer of a request and the condition it leaves for the status query.
struct Outcome {
    TW_UINT16 returnCode;
    TW_UINT16 conditionCode;
};

constexpr Outcome kSuccess{TWRC_SUCCESS, TWCC_SUCCESS};
constexpr Outcome kSequenceError{TWRC_FAILURE, TWCC_SEQERROR};
constexpr Outcome kBadValue{TWRC_FAILURE, TWCC_BADVALUE};
// What a driver answers when it will not do what it is asked, for no reason
// the TWAIN state would give.
constexpr Outcome kRefused{TWRC_FAILURE, TWCC_BUMMER};

Outcome ManagerIdentity(TW_UINT16 msg, pTW_IDENTITY identity) {
    Manager& m = TheManager();
    if (m.state < kManagerOpen) return kSequenceError;
    if (!identity) return kBadValue;
    switch (msg) {
        case MSG_GETDEFAULT: {
            if (m.sources.empty()) return {TWRC_FAILURE, TWCC_NODS};
            const Source* chosen = &m.sources.front();
            for (const Source& s : m.sources) {
                if (s.isDefault) chosen = &s;
            }
            *identity = chosen->identity;
            return kSuccess;
        }
        case MSG_GETFIRST:
            m.nextSource = 0;
            [[fallthrough]];
        case MSG_GETNEXT:
            if (m.nextSource >= m.sources.size()) return {TWRC_ENDOFLIST, TWCC_SUCCESS};
            *identity = m.sources[m.nextSource++].identity;
            return kSuccess;
        case MSG_OPENDS: {
            int found = -1;
            const bool asksDefault = identity->Id == 0 && NameLength(*identity) == 0;
            if (asksDefault && HasFault(FAKE_TWAIN_FAULT_REFUSE_EMPTY_OPEN)) {
                return {TWRC_FAILURE, TWCC_OPERATIONERROR};
            }
            for (std::size_t i = 0; i < m.sources.size(); ++i) {
                const TW_IDENTITY& s = m.sources[i].identity;
                const bool match = asksDefault         ? m.sources[i].isDefault
                                   : identity->Id != 0 ? s.Id == identity->Id
                                                       : SameName(s, *identity);
                if (match) found = static_cast<int>(i);
            }
            if (asksDefault && found < 0 && !m.sources.empty()) found = 0;
            if (found < 0) return {TWRC_FAILURE, TWCC_NODS};
            if (m.openSource == found) return kSequenceError;
            if (m.openSource >= 0) return {TWRC_FAILURE, TWCC_MAXCONNECTIONS};
            m.openSource = found;
            m.state = kSourceOpen;
            *identity = m.sources[found].identity;
            return kSuccess;
        }
        case MSG_CLOSEDS:
            if (m.openSource >= 0 && HasFault(FAKE_TWAIN_FAULT_REFUSE_CLOSE)) return kRefused;
            if (m.state != kSourceOpen) return kSequenceError;
            if (identity->Id != m.sources[m.openSource].identity.Id) {
                return {TWRC_FAILURE, TWCC_NODS};
            }
            m.openSource = -1;
            m.state = kManagerOpen;
            return kSuccess;
        default:
            return {TWRC_FAILURE, TWCC_BADPROTOCOL};
    }
}

Outcome ManagerParent(pTW_IDENTITY origin, TW_UINT16 msg, TW_MEMREF data) {
    Manager& m = TheManager();
    if (!data) return kBadValue;
    if (msg == MSG_OPENDSM) {
        if (m.state != kLoaded) return kSequenceError;
        m.state = kManagerOpen;
        m.managerWindow = *static_cast<HWND*>(data);
        origin->Id = 1;  // a real manager numbers the applications it serves
        return kSuccess;
    }
    if (msg == MSG_CLOSEDSM) {
        if (m.state != kManagerOpen) return kSequenceError;
        m.state = kLoaded;
        return kSuccess;
    }
    return {TWRC_FAILURE, TWCC_BADPROTOCOL};
}

Outcome SourceCapability(TW_UINT16 msg, pTW_CAPABILITY capability) {
    Manager& m = TheManager();
    if (!capability) return kBadValue;
    if (msg == MSG_SET) {
        if (m.state != kSourceOpen) return kSequenceError;
        if (capability->ConType != TWON_ONEVALUE || !capability->hContainer) return kBadValue;
        if (GlobalSize(capability->hContainer) < sizeof(TW_ONEVALUE)) return kBadValue;
        auto* one = static_cast<pTW_ONEVALUE>(GlobalLock(capability->hContainer));
        if (!one) return kBadValue;
        m.caps[capability->Cap] = CapValue{one->ItemType, one->Item};
        GlobalUnlock(capability->hContainer);
        return kSuccess;
    }
    if (msg == MSG_GET) {
        if (m.state < kSourceOpen) return kSequenceError;
        capability->ConType = TWON_ONEVALUE;
        if (HasFault(FAKE_TWAIN_FAULT_NULL_CONTAINER)) {
            capability->hContainer = nullptr;
            return kSuccess;
        }
        const bool shortContainer = HasFault(FAKE_TWAIN_FAULT_SHORT_CONTAINER);
        HGLOBAL block = GlobalAlloc(GHND, shortContainer ? 2 : sizeof(TW_ONEVALUE));
        if (!block) return {TWRC_FAILURE, TWCC_LOWMEMORY};
        TrackBlock(block);
        CapValue current{TWTY_UINT16, 0};
        auto it = m.caps.find(capability->Cap);
        if (it != m.caps.end()) current = it->second;
        auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
        std::memcpy(bytes, &current.itemType, sizeof(current.itemType));
        if (!shortContainer) std::memcpy(bytes + 2, &current.value, sizeof(current.value));
        GlobalUnlock(block);
        capability->hContainer = block;
        return kSuccess;
    }
    return {TWRC_FAILURE, TWCC_BADPROTOCOL};
}

Outcome SourceEvent(pTW_EVENT event) {
    Manager& m = TheManager();
    if (!event) return kBadValue;
    event->TWMessage = MSG_NULL;
    if (m.state >= kEnabled && !m.pendingForEvent.empty()) {
        // What the manager held for the source, whatever the message.
        event->TWMessage = m.pendingForEvent.front();
        m.pendingForEvent.pop_front();
        return {TWRC_DSEVENT, TWCC_SUCCESS};
    }
    const MSG* message = static_cast<const MSG*>(event->pEvent);
    // Only the source's own message is claimed; the rest is the caller's.
    if (m.state < kEnabled || !message || message->message != NotifyMessage()) {
        return {TWRC_NOTDSEVENT, TWCC_SUCCESS};
    }
    event->TWMessage = static_cast<TW_UINT16>(message->wParam);
    return {TWRC_DSEVENT, TWCC_SUCCESS};
}

Outcome SourceImageInfo(pTW_IMAGEINFO info) {
    Manager& m = TheManager();
    if (!info) return kBadValue;
    if (m.state != kTransferReady) return kSequenceError;
    if (m.images.empty()) return {TWRC_FAILURE, TWCC_BUMMER};
    if (NextImageHasFault(FAKE_TWAIN_FAULT_IMAGEINFO_FAILS)) return kRefused;
    const Image& image = m.images.front();
    *info = TW_IMAGEINFO{};
    if (image.bytes.size() >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER header;
        std::memcpy(&header, image.bytes.data(), sizeof(header));
        info->ImageWidth = header.biWidth;
        info->ImageLength = header.biHeight;
        info->BitsPerPixel = static_cast<TW_INT16>(header.biBitCount);
    }
    return kSuccess;
}

// The packed DIB as a DIB section with its rows top-down, the way gphoto2.ds
// builds the bitmaps it hands over; null when the DIB is not whole.
HBITMAP TopDownSection(const std::vector<unsigned char>& dib) {
    BITMAPINFOHEADER header;
    if (dib.size() < sizeof(header)) return nullptr;
    std::memcpy(&header, dib.data(), sizeof(header));
    const std::size_t colours = header.biClrUsed != 0
                                    ? header.biClrUsed
                                    : (header.biBitCount <= 8 ? 1u << header.biBitCount : 0);
    const std::size_t table = sizeof(header) + 4 * colours;
    const std::size_t stride = (std::size_t(header.biWidth) * header.biBitCount + 31) / 32 * 4;
    if (header.biHeight <= 0) return nullptr;
    const std::size_t rows = header.biHeight;
    if (dib.size() < table + stride * rows) return nullptr;

    std::vector<unsigned char> info(dib.begin(), dib.begin() + table);
    const LONG topDown = -header.biHeight;
    std::memcpy(info.data() + offsetof(BITMAPINFOHEADER, biHeight), &topDown, sizeof(topDown));
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    for (std::size_t row = 0; row < rows; ++row) {
        std::memcpy(static_cast<unsigned char*>(bits) + row * stride,
                    dib.data() + table + (rows - 1 - row) * stride, stride);
    }
    return bitmap;
}

// What a completed transfer of the image hands over, in the image's form.
Outcome HandOver(const Image& image, HANDLE* handle) {
    Manager& m = TheManager();
    switch (image.form) {
        case FAKE_TWAIN_FORM_BITMAP: {
            HBITMAP bitmap = TopDownSection(image.bytes);
            if (!bitmap) return {TWRC_FAILURE, TWCC_LOWMEMORY};
            m.bitmaps.push_back(bitmap);
            TrackForeignHandle(bitmap);
            *handle = bitmap;
            return {TWRC_XFERDONE, TWCC_SUCCESS};
        }
        case FAKE_TWAIN_FORM_GIVEN_BITMAP:
            m.bitmaps.push_back(static_cast<HBITMAP>(image.given));
            TrackForeignHandle(image.given);
            *handle = image.given;
            return {TWRC_XFERDONE, TWCC_SUCCESS};
        case FAKE_TWAIN_FORM_GIVEN:
            TrackNonGdiHandle(image.given);
            *handle = image.given;
            return {TWRC_XFERDONE, TWCC_SUCCESS};
        case FAKE_TWAIN_FORM_DISCARDED: {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DISCARDABLE, image.bytes.size() + 1);
            if (!block) return {TWRC_FAILURE, TWCC_LOWMEMORY};
            GlobalDiscard(block);
            TrackBlock(block);
            *handle = block;
            return {TWRC_XFERDONE, TWCC_SUCCESS};
        }
        case FAKE_TWAIN_FORM_FOREIGN: {
            HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (!event) return {TWRC_FAILURE, TWCC_LOWMEMORY};
            m.foreign.push_back(event);
            TrackNonGdiHandle(event);
            *handle = event;
            return {TWRC_XFERDONE, TWCC_SUCCESS};
        }
        default: {
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, image.bytes.size());
            if (!block) return {TWRC_FAILURE, TWCC_LOWMEMORY};
            if (!image.bytes.empty()) {
                std::memcpy(GlobalLock(block), image.bytes.data(), image.bytes.size());
                GlobalUnlock(block);
            }
            TrackBlock(block);
            *handle = block;
            return {TWRC_XFERDONE, TWCC_SUCCESS};
        }
    }
}

Outcome SourceNativeTransfer(TW_MEMREF data) {
    Manager& m = TheManager();
    if (!data) return kBadValue;
    auto* handle = static_cast<HANDLE*>(data);
    *handle = nullptr;
    if (m.state != kTransferReady) return kSequenceError;
    if (m.images.empty()) return {TWRC_FAILURE, TWCC_BUMMER};
    const bool nullImage = NextImageHasFault(FAKE_TWAIN_FAULT_NULL_IMAGE);
    Image image = std::move(m.images.front());
    m.images.pop_front();
    m.pendingAfter = image.pendingAfter;
    if (image.outcome == TWRC_FAILURE) return {TWRC_FAILURE, TWCC_BUMMER};
    m.state = kTransferring;
    if (image.outcome != TWRC_XFERDONE) return {image.outcome, TWCC_SUCCESS};
    if (nullImage) return {TWRC_XFERDONE, TWCC_SUCCESS};
    return HandOver(image, handle);
}

Outcome SourcePending(TW_UINT16 msg, pTW_PENDINGXFERS pending, FakeTwainRequest& request) {
    Manager& m = TheManager();
    if (!pending) return kBadValue;
    if (msg == MSG_ENDXFER) {
        if (m.state == kTransferReady && !m.images.empty()) {
            // Ending a transfer that never started skips that image.
            m.pendingAfter = m.images.front().pendingAfter;
            m.images.pop_front();
        } else if (m.state != kTransferring) {
            return kSequenceError;
        }
        pending->Count = m.pendingAfter;
        m.state = pending->Count == 0 ? kEnabled : kTransferReady;
    } else if (msg == MSG_RESET) {
        if (m.state != kTransferReady) return kSequenceError;
        m.images.clear();
        pending->Count = 0;
        m.state = kEnabled;
    } else {
        return {TWRC_FAILURE, TWCC_BADPROTOCOL};
    }
    request.value = pending->Count;
    return kSuccess;
}

// FAKE_TWAIN_PAGES: each scan's pages, A4 at 300 dpi in colour, numbered in
// their first byte, and the notification that they are ready.
void AddScanPages() {
    Manager& m = TheManager();
    if (m.pagesPerScan == 0 || !m.images.empty()) return;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = 2480;
    header.biHeight = 3508;
    header.biPlanes = 1;
    header.biBitCount = 24;
    std::vector<unsigned char> dib(sizeof(header) + 7440 * 3508);
    std::memcpy(dib.data(), &header, sizeof(header));
    for (UINT i = 0; i < m.pagesPerScan; ++i) {
        dib[sizeof(header)] = static_cast<unsigned char>(i);
        FakeTwain_AddImage(dib.data(), static_cast<UINT>(dib.size()), TWRC_XFERDONE,
                           static_cast<TW_UINT16>(m.pagesPerScan - 1 - i));
    }
    FakeTwain_PostNotification(MSG_XFERREADY);
}

Outcome SourceUserInterface(TW_UINT16 msg, pTW_USERINTERFACE ui) {
    Manager& m = TheManager();
    if (!ui) return kBadValue;
    if (msg == MSG_ENABLEDS) {
        if (m.state != kSourceOpen) return kSequenceError;
        AddScanPages();
        m.state = kEnabled;
        m.parent = static_cast<HWND>(ui->hParent);
        std::vector<TW_UINT16> held;
        held.swap(m.heldNotifications);
        for (TW_UINT16 notification : held) Post(notification);
        return kSuccess;
    }
    if (msg == MSG_DISABLEDS) {
        if (HasFault(FAKE_TWAIN_FAULT_REFUSE_DISABLE)) return kRefused;
        if (m.state != kEnabled) return kSequenceError;
        m.state = kSourceOpen;
        return kSuccess;
    }
    return {TWRC_FAILURE, TWCC_BADPROTOCOL};
}

Outcome Handle(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
               TW_UINT16 msg, TW_MEMREF data, FakeTwainRequest& request) {
    Manager& m = TheManager();
    if (!origin) return {TWRC_FAILURE, TWCC_BADPROTOCOL};
    if (!destination) {
        if (dg == DG_CONTROL && dat == DAT_PARENT) return ManagerParent(origin, msg, data);
        if (dg == DG_CONTROL && dat == DAT_IDENTITY) {
            return ManagerIdentity(msg, static_cast<pTW_IDENTITY>(data));
        }
        return {TWRC_FAILURE, TWCC_BADPROTOCOL};
    }
    if (m.openSource < 0 || destination->Id != m.sources[m.openSource].identity.Id) {
        return {TWRC_FAILURE, TWCC_BADDEST};
    }
    if (dg == DG_CONTROL && dat == DAT_USERINTERFACE) {
        return SourceUserInterface(msg, static_cast<pTW_USERINTERFACE>(data));
    }
    if (dg == DG_CONTROL && dat == DAT_CAPABILITY) {
        return SourceCapability(msg, static_cast<pTW_CAPABILITY>(data));
    }
    if (dg == DG_CONTROL && dat == DAT_EVENT && msg == MSG_PROCESSEVENT) {
        return SourceEvent(static_cast<pTW_EVENT>(data));
    }
    if (dg == DG_CONTROL && dat == DAT_PENDINGXFERS) {
        return SourcePending(msg, static_cast<pTW_PENDINGXFERS>(data), request);
    }
    if (dg == DG_IMAGE && dat == DAT_IMAGEINFO && msg == MSG_GET) {
        return SourceImageInfo(static_cast<pTW_IMAGEINFO>(data));
    }
    if (dg == DG_IMAGE && dat == DAT_IMAGENATIVEXFER && msg == MSG_GET) {
        return SourceNativeTransfer(data);
    }
    return {TWRC_FAILURE, TWCC_BADPROTOCOL};
}

// What arrived, before anything answers it.
FakeTwainRequest Describe(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg,
                          TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    FakeTwainRequest request{};
    request.hasOrigin = origin != nullptr;
    request.hasDestination = destination != nullptr;
    if (origin) request.origin = *origin;
    if (destination) request.destination = *destination;
    request.dg = dg;
    request.dat = dat;
    request.msg = msg;
    request.thread = GetCurrentThreadId();
    if (!data) return request;
    if (dat == DAT_CAPABILITY) {
        const auto* capability = static_cast<const TW_CAPABILITY*>(data);
        request.cap = capability->Cap;
        request.conType = capability->ConType;
        HGLOBAL container = capability->hContainer;
        request.hasContainer = container != nullptr;
        if (container && msg == MSG_SET) {
            TrackBlock(container);
            request.containerSize = GlobalSize(container);
            void* address = GlobalLock(container);
            // A fixed block's handle is its address; a movable one's is not.
            request.containerMovable = address != nullptr && address != container;
            if (address && request.containerSize >= sizeof(TW_ONEVALUE)) {
                const auto* one = static_cast<const TW_ONEVALUE*>(address);
                request.itemType = one->ItemType;
                request.value = one->Item;
            }
            if (address) GlobalUnlock(container);
        }
    } else if (dat == DAT_PARENT) {
        request.window = *static_cast<const HWND*>(data);
    } else if (dat == DAT_USERINTERFACE) {
        const auto* ui = static_cast<const TW_USERINTERFACE*>(data);
        request.showUI = ui->ShowUI;
        request.window = static_cast<HWND>(ui->hParent);
    }
    return request;
}

bool FindAnswer(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 cap, Outcome& outcome) {
    Manager& m = TheManager();
    for (auto it = m.onceAnswers.begin(); it != m.onceAnswers.end(); ++it) {
        if (it->Matches(dg, dat, msg, cap)) {
            outcome = {it->returnCode, it->conditionCode};
            m.onceAnswers.erase(it);
            return true;
        }
    }
    for (const Answer& answer : m.fixedAnswers) {
        if (answer.Matches(dg, dat, msg, cap)) {
            outcome = {answer.returnCode, answer.conditionCode};
            return true;
        }
    }
    return false;
}

// The image added last is handed over as a handle of the test's own.
void GiveLastImage(UINT form, HANDLE handle) {
    Manager& m = TheManager();
    if (m.images.empty()) return;
    m.images.back().form = form;
    m.images.back().given = handle;
}

// FAKE_TWAIN_LOG: a file that outlives the process, written line by line.
void LogLine(const char* line) {
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("FAKE_TWAIN_LOG", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        // A program in another process cannot script this manager: this
        // variable gives it one default source, "Pages", with that many
        // pages for every scan.
        char pages[16] = {};
        if (GetEnvironmentVariableA("FAKE_TWAIN_PAGES", pages, sizeof(pages)) > 0) {
            TheManager().pagesPerScan = static_cast<UINT>(std::atoi(pages));
            FakeTwain_AddSource("Pages", 5, TRUE);
        }
    }
    if (reason == DLL_PROCESS_DETACH) {
        // When each page's transfer ended, by the performance counter, which
        // every process of the machine shares; written only now, so that the
        // writing is in no one's figures.
        for (LONGLONG at : TheManager().transferEnds) {
            char line[48];
            wsprintfA(line, "transferred %u %u", static_cast<unsigned>(at >> 32),
                      static_cast<unsigned>(at & 0xFFFFFFFF));
            LogLine(line);
        }
        LogLine(reserved != nullptr ? "detach at exit" : "detach");
    }
    return TRUE;
}

extern "C" TW_UINT16 PASCAL DSM_Entry(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG,
                                      TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    Manager& m = TheManager();
    FakeTwainRequest request = Describe(pOrigin, pDest, DG, DAT, MSG, pData);

    Outcome outcome{};
    if (DG == DG_CONTROL && DAT == DAT_STATUS && MSG == MSG_GET) {
        // The status query reports the condition of the request before it.
        if (pData) {
            auto* status = static_cast<pTW_STATUS>(pData);
            *status = TW_STATUS{};
            status->ConditionCode = m.conditionCode;
        }
        outcome = kSuccess;
        request.value = m.conditionCode;
    } else {
        if (!FindAnswer(DG, DAT, MSG, request.cap, outcome)) {
            outcome = Handle(pOrigin, pDest, DG, DAT, MSG, pData, request);
        }
        m.conditionCode = outcome.conditionCode;
    }
    request.returnCode = outcome.returnCode;
    // No program in this process reads the records of FAKE_TWAIN_PAGES, and
    // a long run would see them grow.
    if (m.pagesPerScan == 0) m.requests.push_back(request);
    char line[32];
    wsprintfA(line, "%u/%u", static_cast<unsigned>(DAT), static_cast<unsigned>(MSG));
    LogLine(line);
    // Only for FAKE_TWAIN_PAGES: a long run in this process would see them grow.
    if (m.pagesPerScan != 0 && DG == DG_IMAGE && DAT == DAT_IMAGENATIVEXFER &&
        outcome.returnCode == TWRC_XFERDONE) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        m.transferEnds.push_back(now.QuadPart);
    }
    return outcome.returnCode;
}

extern "C" {

void FakeTwain_Reset(void) {
    Manager& m = TheManager();
    for (HANDLE event : m.foreign) CloseHandle(event);
    m = Manager{};
    ForgetTrackedBlocks();
}

TW_UINT32 FakeTwain_AddSource(const char* name, UINT length, BOOL isDefault) {
    Manager& m = TheManager();
    Source source{};
    source.identity.Id = static_cast<TW_UINT32>(100 + m.sources.size());
    source.identity.ProtocolMajor = TWON_PROTOCOLMAJOR;
    source.identity.ProtocolMinor = TWON_PROTOCOLMINOR;
    source.identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    std::strncpy(source.identity.Manufacturer, "Korvelo tests", 33);
    std::strncpy(source.identity.ProductFamily, "Fake", 33);
    const UINT copied = length < 34 ? length : 34;
    if (name) std::memcpy(source.identity.ProductName, name, copied);
    source.isDefault = isDefault != FALSE;
    m.sources.push_back(source);
    return source.identity.Id;
}

void FakeTwain_SetAnswer(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 cap,
                         TW_UINT16 returnCode, TW_UINT16 conditionCode) {
    TheManager().fixedAnswers.push_back(Answer{dg, dat, msg, cap, returnCode, conditionCode});
}

void FakeTwain_PushAnswer(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_UINT16 cap,
                          TW_UINT16 returnCode, TW_UINT16 conditionCode) {
    TheManager().onceAnswers.push_back(Answer{dg, dat, msg, cap, returnCode, conditionCode});
}

void FakeTwain_SetCapValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
    TheManager().caps[cap] = CapValue{itemType, value};
}

BOOL FakeTwain_GetCapValue(TW_UINT16 cap, TW_UINT16* itemType, TW_UINT32* value) {
    Manager& m = TheManager();
    auto it = m.caps.find(cap);
    if (it == m.caps.end()) return FALSE;
    if (itemType) *itemType = it->second.itemType;
    if (value) *value = it->second.value;
    return TRUE;
}

void FakeTwain_AddImage(const void* dib, UINT size, TW_UINT16 outcome, TW_UINT16 pendingAfter) {
    Image image;
    if (dib && size) {
        const auto* bytes = static_cast<const unsigned char*>(dib);
        image.bytes.assign(bytes, bytes + size);
    }
    image.outcome = outcome;
    image.pendingAfter = pendingAfter;
    TheManager().images.push_back(std::move(image));
}

void FakeTwain_PostNotification(TW_UINT16 notification) {
    Manager& m = TheManager();
    if (m.state >= kEnabled) {
        Post(notification);
    } else {
        m.heldNotifications.push_back(notification);
    }
}

UINT FakeTwain_NotifyMessage(void) { return NotifyMessage(); }

void FakeTwain_SetFault(UINT fault, BOOL on) {
    if (on) {
        TheManager().faults.insert(fault);
    } else {
        TheManager().faults.erase(fault);
    }
}

void FakeTwain_SetImageFault(UINT fault) {
    Manager& m = TheManager();
    if (!m.images.empty()) m.images.back().faults.insert(fault);
}

void FakeTwain_SetImageForm(UINT form) {
    Manager& m = TheManager();
    if (!m.images.empty()) m.images.back().form = form;
}

UINT FakeTwain_LiveBitmaps(void) {
    UINT live = 0;
    for (HBITMAP bitmap : TheManager().bitmaps) {
        if (GetObjectType(bitmap) == OBJ_BITMAP) ++live;
    }
    return live;
}

UINT FakeTwain_ForeignFrees(void) { return ForeignFrees(); }

void FakeTwain_SetImageHandle(HANDLE handle) { GiveLastImage(FAKE_TWAIN_FORM_GIVEN, handle); }

void FakeTwain_SetImageBitmap(HBITMAP bitmap) {
    GiveLastImage(FAKE_TWAIN_FORM_GIVEN_BITMAP, bitmap);
}

UINT FakeTwain_ForeignDeletes(void) { return ForeignDeletes(); }

void FakeTwain_SetNotifyStyle(UINT style) { TheManager().notifyStyle = style; }

UINT FakeTwain_State(void) { return TheManager().state; }

UINT FakeTwain_RequestCount(void) { return static_cast<UINT>(TheManager().requests.size()); }

BOOL FakeTwain_GetRequest(UINT index, FakeTwainRequest* request) {
    Manager& m = TheManager();
    if (!request || index >= m.requests.size()) return FALSE;
    *request = m.requests[index];
    return TRUE;
}

void FakeTwain_ClearRequests(void) { TheManager().requests.clear(); }

UINT FakeTwain_LiveBlocks(void) { return LiveTrackedBlocks(); }

UINT FakeTwain_RepeatedFrees(void) { return RepeatedFrees(); }

}  // extern "C"
