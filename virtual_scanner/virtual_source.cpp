#include "virtual_source.h"

#include <cstring>
#include <string>

#include "page_renderer.h"
#include "paper_feeder.h"

namespace {

void CopyText(TW_STR32& field, const char* text) {
    std::memset(field, 0, sizeof(field));
    std::strncpy(field, text, sizeof(field) - 1);
}

const wchar_t* PixelTypeName(TW_UINT16 type) {
    switch (type) {
        case TWPT_BW:
            return L"black and white";
        case TWPT_GRAY:
            return L"grey";
        default:
            return L"colour";
    }
}

// What the dialog says the next scan will be.
std::wstring DescribeSettings(const ScanSettings& settings) {
    std::wstring text = L"A4, " + std::to_wstring(settings.xResolution) + L" x " +
                        std::to_wstring(settings.yResolution) + L" dpi, " +
                        PixelTypeName(settings.pixelType) + L", ";
    text += settings.duplex ? L"both sides" : L"one side";
    const int images = ImagesToDeliver(settings.transferCount, settings.duplex);
    text += L", " + std::to_wstring(images) + (images == 1 ? L" page" : L" pages");
    return text;
}

}  // namespace

TW_UINT16 VirtualSource::Fail(TW_UINT16 condition) {
    condition_ = condition;
    return TWRC_FAILURE;
}

TW_UINT16 VirtualSource::Succeed() {
    condition_ = TWCC_SUCCESS;
    return TWRC_SUCCESS;
}

TW_UINT16 VirtualSource::Unsupported() { return Fail(TWCC_BADPROTOCOL); }

TW_UINT16 VirtualSource::BadData() { return Fail(TWCC_BADVALUE); }

// DG_CONTROL/DAT_IDENTITY/MSG_GET
TW_UINT16 VirtualSource::GetIdentity(TW_IDENTITY& identity) {
    // The Id is the manager's to give.
    identity.Version.MajorNum = 1;
    identity.Version.MinorNum = 0;
    identity.Version.Language = TWLG_USA;
    identity.Version.Country = TWCY_USA;
    CopyText(identity.Version.Info, "1.0");
    identity.ProtocolMajor = TWON_PROTOCOLMAJOR;
    identity.ProtocolMinor = TWON_PROTOCOLMINOR;
    identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyText(identity.Manufacturer, "Korvelo");
    CopyText(identity.ProductFamily, "Virtual Scanner");
    CopyText(identity.ProductName, "Korvelo Virtual Scanner");
    return Succeed();
}

// DG_CONTROL/DAT_IDENTITY/MSG_OPENDS
TW_UINT16 VirtualSource::OpenDs(const TW_IDENTITY& self) {
    // One application at a time, like a scanner on its cable.
    if (state_ != kClosed) return Fail(TWCC_MAXCONNECTIONS);
    self_ = self;
    capabilities_.Reset();
    state_ = kOpen;
    return Succeed();
}

// DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS
TW_UINT16 VirtualSource::CloseDs() {
    if (state_ != kOpen) return Fail(TWCC_SEQERROR);
    state_ = kClosed;
    return Succeed();
}

// DG_CONTROL/DAT_STATUS/MSG_GET
TW_UINT16 VirtualSource::GetStatus(TW_STATUS& status) {
    status.ConditionCode = condition_;
    status.Reserved = 0;
    // Reading the condition consumes it.
    condition_ = TWCC_SUCCESS;
    return TWRC_SUCCESS;
}

// DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS
TW_UINT16 VirtualSource::EnableDs(const TW_USERINTERFACE& ui) {
    if (state_ != kOpen) return Fail(TWCC_SEQERROR);
    if (!notifier_.Create(module_)) return Fail(TWCC_LOWMEMORY);
    if (ui.ShowUI) {
        const auto owner = static_cast<HWND>(ui.hParent);
        if (!dialog_.Open(module_, owner, DescribeSettings(capabilities_.Settings()), notifier_)) {
            notifier_.Destroy();
            return Fail(TWCC_OPERATIONERROR);
        }
    } else {
        // Without a dialog nobody presses Scan: the pages are there at once.
        notifier_.Post(MSG_XFERREADY);
    }
    state_ = kEnabled;
    return Succeed();
}

// DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS
TW_UINT16 VirtualSource::DisableDs() {
    if (state_ != kEnabled) return Fail(TWCC_SEQERROR);
    dialog_.Close();
    // A notification still queued dies with its window.
    notifier_.Destroy();
    state_ = kOpen;
    return Succeed();
}

// DG_CONTROL/DAT_EVENT/MSG_PROCESSEVENT
TW_UINT16 VirtualSource::ProcessEvent(TW_EVENT& event) {
    event.TWMessage = MSG_NULL;
    if (!In(kEnabled, kTransferring)) return Fail(TWCC_SEQERROR);
    if (event.pEvent == nullptr) return BadData();
    MSG& message = *static_cast<MSG*>(event.pEvent);
    condition_ = TWCC_SUCCESS;

    TW_UINT16 notification = MSG_NULL;
    if (notifier_.Claim(message, notification)) {
        if (notification == MSG_XFERREADY) {
            // Scan pressed again while pages are still pending: nothing new.
            if (state_ != kEnabled) return TWRC_DSEVENT;
            BeginTransfers();
        }
        event.TWMessage = notification;
        return TWRC_DSEVENT;
    }
    if (dialog_.Handle(message)) return TWRC_DSEVENT;
    return TWRC_NOTDSEVENT;
}

void VirtualSource::BeginTransfers() {
    const ScanSettings& settings = capabilities_.Settings();
    format_ = FormatFor(settings);
    imagesTotal_ = ImagesToDeliver(settings.transferCount, settings.duplex);
    imageIndex_ = 0;
    state_ = kTransferReady;
}

// DG_CONTROL/DAT_CAPABILITY/MSG_*
TW_UINT16 VirtualSource::Capability(TW_UINT16 msg, TW_CAPABILITY& capability) {
    // Once enabled, the settings of the scan are fixed; they can still be read.
    const bool changes = msg == MSG_SET || msg == MSG_RESET;
    if (changes ? state_ != kOpen : !In(kOpen, kTransferring)) return Fail(TWCC_SEQERROR);
    TW_UINT16 condition = TWCC_SUCCESS;
    const TW_UINT16 result = capabilities_.Negotiate(msg, capability, condition);
    condition_ = condition;
    return result;
}

// DG_CONTROL/DAT_PENDINGXFERS/MSG_GET
TW_UINT16 VirtualSource::GetPendingTransfers(TW_PENDINGXFERS& pending) {
    if (!In(kOpen, kTransferring)) return Fail(TWCC_SEQERROR);
    pending.Count = static_cast<TW_UINT16>(In(kTransferReady, kTransferring) ? ImagesLeft() : 0);
    pending.u.EOJ = 0;
    return Succeed();
}

// DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER
TW_UINT16 VirtualSource::EndTransfer(TW_PENDINGXFERS& pending) {
    // From state 6 the image is skipped without being transferred.
    if (!In(kTransferReady, kTransferring)) return Fail(TWCC_SEQERROR);
    ++imageIndex_;
    pending.Count = static_cast<TW_UINT16>(ImagesLeft());
    pending.u.EOJ = 0;
    state_ = ImagesLeft() > 0 ? kTransferReady : kEnabled;
    return Succeed();
}

// DG_CONTROL/DAT_PENDINGXFERS/MSG_RESET
TW_UINT16 VirtualSource::ResetTransfers(TW_PENDINGXFERS& pending) {
    if (!In(kTransferReady, kTransferring)) return Fail(TWCC_SEQERROR);
    imageIndex_ = imagesTotal_;
    pending.Count = 0;
    pending.u.EOJ = 0;
    state_ = kEnabled;
    return Succeed();
}

// DG_IMAGE/DAT_IMAGEINFO/MSG_GET
TW_UINT16 VirtualSource::GetImageInfo(TW_IMAGEINFO& info) {
    if (!In(kTransferReady, kTransferring)) return Fail(TWCC_SEQERROR);
    DescribeImage(format_, info);
    return Succeed();
}

// DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET
TW_UINT16 VirtualSource::NativeTransfer(TW_HANDLE& image) {
    if (state_ != kTransferReady) return Fail(TWCC_SEQERROR);
    const bool duplex = capabilities_.Settings().duplex;
    HGLOBAL page = RenderPage(format_, FaceOfImage(imageIndex_, duplex));
    // The image stays pending; the application may end or reset it.
    if (page == nullptr) return Fail(TWCC_LOWMEMORY);
    image = page;
    state_ = kTransferring;
    condition_ = TWCC_SUCCESS;
    return TWRC_XFERDONE;
}
