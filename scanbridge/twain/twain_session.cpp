#include "twain_session.h"

#include "trace.h"
#include "twain_trace.h"

#include <cstring>

namespace {

// The product name is a fixed 34-byte field that a source may fill to the
// last byte without a terminating zero; never read past it.
std::size_t ProductNameLength(const TW_IDENTITY& identity) {
    return strnlen(identity.ProductName, sizeof(identity.ProductName));
}

void CopyText(TW_STR32& field, const char* text) { std::strncpy(field, text, sizeof(field) - 1); }

}  // namespace

TwainSession::TwainSession(HWND parent) {
    if (parent) LoadManager(parent);
}

TwainSession::~TwainSession() { UnloadManager(); }

bool TwainSession::DsmCall(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 group,
                           TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    if (!IsDriverLoaded()) {
        lastReturnCode_ = TWRC_FAILURE;
        return false;
    }
    lastReturnCode_ = static_cast<TW_INT16>(entry_(origin, destination, group, dat, msg, data));
    if (lastReturnCode_ != TWRC_SUCCESS) {
        // Every code but success (events and end of list included) leaves a
        // condition behind; fetch it so the manager's status is consumed.
        // A manager that cannot answer the query must not leave the
        // condition of an earlier request behind.
        status_ = TW_STATUS{};
        // DG_CONTROL/DAT_STATUS/MSG_GET
        entry_(origin, destination, DG_CONTROL, DAT_STATUS, MSG_GET, &status_);
    }
    // Every request but the events that were not the source's, which are
    // every message of the scan's pump.
    if (trace::On() && !(msg == MSG_PROCESSEVENT && lastReturnCode_ == TWRC_NOTDSEVENT)) {
        trace::Line(TwainRequestLine(destination, group, dat, msg, data,
                                     static_cast<TW_UINT16>(lastReturnCode_),
                                     status_.ConditionCode));
    }
    return lastReturnCode_ == TWRC_SUCCESS;
}

bool TwainSession::LoadManager(HWND window) {
    if (IsDriverLoaded()) return true;
    appIdentity_ = TW_IDENTITY{};
    if (!IsWindow(window)) return false;
    parent_ = window;

    library_.reset(LoadLibraryA("TWAIN_32.DLL"));
    if (library_) {
        FARPROC entry = GetProcAddress(library_.get(), MAKEINTRESOURCEA(1));
        entry_ = reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(entry));
        if (!entry_) library_.reset();
    }
    if (!IsDriverLoaded()) return false;

    FillIdentity();
    // DG_CONTROL/DAT_PARENT/MSG_OPENDSM
    managerOpen_ = DsmCall(&appIdentity_, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent_);
    // Loaded is what counts here; whether the manager opened shows in every
    // later request.
    return true;
}

void TwainSession::UnloadManager() {
    if (!IsDriverLoaded()) return;
    CloseManager();
    entry_ = nullptr;
    library_.reset();
}

void TwainSession::AbandonManager() {
    entry_ = nullptr;
    (void)library_.release();
    managerOpen_ = false;
    sourceOpen_ = false;
    sourceEnabled_ = false;
}

void TwainSession::CloseManager() {
    if (!IsDriverLoaded() || !managerOpen_) return;
    CloseDataSource();
    // DG_CONTROL/DAT_PARENT/MSG_CLOSEDSM
    DsmCall(&appIdentity_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent_);
    managerOpen_ = false;
}

void TwainSession::FillIdentity() {
    appIdentity_.Id = 0;
    appIdentity_.Version.MajorNum = 3;
    appIdentity_.Version.MinorNum = 5;
    appIdentity_.Version.Language = TWLG_USA;
    appIdentity_.Version.Country = TWCY_USA;
    CopyText(appIdentity_.Version.Info, "3.5");
    appIdentity_.ProtocolMajor = 1;
    appIdentity_.ProtocolMinor = 8;
    appIdentity_.SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyText(appIdentity_.Manufacturer, "TELVA");
    CopyText(appIdentity_.ProductFamily, "Generic");
    // "Skenovací agent Plamix" in Windows-1250, the code page of its users.
    CopyText(appIdentity_.ProductName, "Skenovac\xED agent Plamix");
}

bool TwainSession::PickDefaultSource() {
    // DG_CONTROL/DAT_IDENTITY/MSG_GETDEFAULT
    return DsmCall(&appIdentity_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT,
                   &sourceIdentity_);
}

bool TwainSession::OpenDataSource(const TW_IDENTITY* identity) {
    const TW_IDENTITY openSource = sourceIdentity_;
    if (identity) std::memcpy(&sourceIdentity_, identity, sizeof(sourceIdentity_));
    if (!IsDriverLoaded() || !managerOpen_) return false;
    // DG_CONTROL/DAT_IDENTITY/MSG_OPENDS
    const bool opened =
        DsmCall(&appIdentity_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &sourceIdentity_);
    if (opened) {
        sourceOpen_ = true;
    } else {
        // A refused open changes nothing at the manager, so it changes
        // nothing here either: a source that is open stays open, and only
        // this session can ever close it again; with none open, the next scan
        // without a selection opens what it would have opened before.
        sourceIdentity_ = openSource;
    }
    return opened;
}

bool TwainSession::CloseDataSource() {
    if (!IsSourceOpen()) return false;
    StopSource();
    // DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS
    const bool closed =
        DsmCall(&appIdentity_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &sourceIdentity_);
    // A source that refused to close is still open, and the manager cannot be
    // closed before it is: the next close (at the end of the scan, before the
    // next one, at unload) asks again. A manager that no longer knows the
    // source has closed it all the same. A closed source is no longer enabled,
    // even if it refused to be disabled first.
    if (closed || status_.ConditionCode == TWCC_NODS) {
        sourceOpen_ = false;
        sourceEnabled_ = false;
    }
    return closed;
}

bool TwainSession::NextSource(TW_IDENTITY& identity, bool first) {
    if (first) {
        // DG_CONTROL/DAT_IDENTITY/MSG_GETFIRST
        return DsmCall(&appIdentity_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &identity);
    }
    // DG_CONTROL/DAT_IDENTITY/MSG_GETNEXT
    return DsmCall(&appIdentity_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &identity);
}

std::string TwainSession::ListSourceNames() {
    std::string names;
    TW_IDENTITY identity{};
    for (bool found = NextSource(identity, true); found; found = NextSource(identity, false)) {
        names.append(identity.ProductName, ProductNameLength(identity));
        names.push_back('\0');
    }
    names.push_back('\0');
    return names;
}

bool TwainSession::OpenSourceByName(const char* name) {
    if (!name) return false;
    const std::size_t nameLength = std::strlen(name);
    TW_IDENTITY identity{};
    for (bool found = NextSource(identity, true); found; found = NextSource(identity, false)) {
        if (ProductNameLength(identity) == nameLength &&
            std::memcmp(identity.ProductName, name, nameLength) == 0) {
            return OpenDataSource(&identity);
        }
    }
    return false;
}

bool TwainSession::StartSource(bool showUI) {
    if (!IsSourceOpen() || sourceEnabled_) return false;
    enabledWindow_ = sourceWindow_ ? sourceWindow_ : parent_;
    TW_USERINTERFACE ui{};
    ui.ShowUI = showUI ? TRUE : FALSE;
    ui.hParent = enabledWindow_;
    // DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS
    sourceEnabled_ =
        DsmCall(&appIdentity_, &sourceIdentity_, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    return sourceEnabled_;
}

bool TwainSession::StopSource() {
    if (!sourceEnabled_) return false;
    TW_USERINTERFACE ui{};
    ui.hParent = enabledWindow_;
    // DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS
    if (!DsmCall(&appIdentity_, &sourceIdentity_, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS,
                 &ui)) {
        return false;
    }
    sourceEnabled_ = false;
    return true;
}

void TwainSession::SetSourceWindow(HWND window) { sourceWindow_ = window; }

bool TwainSession::IsDriverLoaded() const { return library_ && entry_; }

bool TwainSession::IsManagerOpen() const { return managerOpen_; }

bool TwainSession::IsSourceOpen() const { return IsDriverLoaded() && managerOpen_ && sourceOpen_; }

bool TwainSession::IsSourceEnabled() const { return sourceEnabled_; }

TW_INT16 TwainSession::LastReturnCode() const { return lastReturnCode_; }

const TW_STATUS& TwainSession::Status() const { return status_; }

const TW_IDENTITY& TwainSession::AppIdentity() const { return appIdentity_; }

const TW_IDENTITY& TwainSession::SourceIdentity() const { return sourceIdentity_; }
