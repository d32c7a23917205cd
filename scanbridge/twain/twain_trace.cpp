#include "twain_trace.h"

#include <cstring>

namespace {

struct Named {
    unsigned value;
    const char* name;
};

template <std::size_t N>
std::string NameOf(const Named (&table)[N], unsigned value) {
    for (const Named& entry : table) {
        if (entry.value == value)
            return std::string(entry.name) + "(" + std::to_string(value) + ")";
    }
    return std::to_string(value);
}

#define NAMED(x) \
    { x, #x }

const Named kGroups[] = {NAMED(DG_CONTROL), NAMED(DG_IMAGE), NAMED(DG_AUDIO)};
const Named kDats[] = {NAMED(DAT_CAPABILITY),      NAMED(DAT_EVENT),        NAMED(DAT_IDENTITY),
                       NAMED(DAT_PARENT),          NAMED(DAT_PENDINGXFERS), NAMED(DAT_STATUS),
                       NAMED(DAT_USERINTERFACE),   NAMED(DAT_IMAGEINFO),    NAMED(DAT_IMAGELAYOUT),
                       NAMED(DAT_IMAGENATIVEXFER), NAMED(DAT_SETUPMEMXFER), NAMED(DAT_XFERGROUP)};
const Named kMsgs[] = {
    NAMED(MSG_GET),       NAMED(MSG_GETCURRENT), NAMED(MSG_GETDEFAULT),   NAMED(MSG_GETFIRST),
    NAMED(MSG_GETNEXT),   NAMED(MSG_SET),        NAMED(MSG_RESET),        NAMED(MSG_OPENDSM),
    NAMED(MSG_CLOSEDSM),  NAMED(MSG_OPENDS),     NAMED(MSG_CLOSEDS),      NAMED(MSG_USERSELECT),
    NAMED(MSG_DISABLEDS), NAMED(MSG_ENABLEDS),   NAMED(MSG_PROCESSEVENT), NAMED(MSG_ENDXFER),
    NAMED(MSG_XFERREADY), NAMED(MSG_CLOSEDSREQ), NAMED(MSG_CLOSEDSOK),    NAMED(MSG_NULL)};
const Named kReturnCodes[] = {NAMED(TWRC_SUCCESS),  NAMED(TWRC_FAILURE),  NAMED(TWRC_CHECKSTATUS),
                              NAMED(TWRC_CANCEL),   NAMED(TWRC_DSEVENT),  NAMED(TWRC_NOTDSEVENT),
                              NAMED(TWRC_XFERDONE), NAMED(TWRC_ENDOFLIST)};
const Named kConditions[] = {NAMED(TWCC_SUCCESS),          NAMED(TWCC_BUMMER),
                             NAMED(TWCC_LOWMEMORY),        NAMED(TWCC_NODS),
                             NAMED(TWCC_MAXCONNECTIONS),   NAMED(TWCC_OPERATIONERROR),
                             NAMED(TWCC_BADCAP),           NAMED(TWCC_BADPROTOCOL),
                             NAMED(TWCC_BADVALUE),         NAMED(TWCC_SEQERROR),
                             NAMED(TWCC_BADDEST),          NAMED(TWCC_CAPUNSUPPORTED),
                             NAMED(TWCC_CAPBADOPERATION),  NAMED(TWCC_CAPSEQERROR),
                             NAMED(TWCC_PAPERJAM),         NAMED(TWCC_PAPERDOUBLEFEED),
                             NAMED(TWCC_CHECKDEVICEONLINE)};
const Named kCaps[] = {
    NAMED(CAP_XFERCOUNT),    NAMED(CAP_DUPLEXENABLED),  NAMED(CAP_FEEDERENABLED),
    NAMED(CAP_INDICATORS),   NAMED(CAP_UICONTROLLABLE), NAMED(ICAP_PIXELTYPE),
    NAMED(ICAP_XRESOLUTION), NAMED(ICAP_YRESOLUTION),   NAMED(ICAP_SUPPORTEDSIZES),
    NAMED(ICAP_XFERMECH),    NAMED(ICAP_BITDEPTH),      NAMED(ICAP_UNITS)};
const Named kContainers[] = {NAMED(TWON_ARRAY), NAMED(TWON_ENUMERATION), NAMED(TWON_ONEVALUE),
                             NAMED(TWON_RANGE), NAMED(TWON_DONTCARE16)};
const Named kItemTypes[] = {NAMED(TWTY_INT8),  NAMED(TWTY_INT16),  NAMED(TWTY_INT32),
                            NAMED(TWTY_UINT8), NAMED(TWTY_UINT16), NAMED(TWTY_UINT32),
                            NAMED(TWTY_BOOL),  NAMED(TWTY_FIX32),  NAMED(TWTY_FRAME),
                            NAMED(TWTY_STR32), NAMED(TWTY_STR64),  NAMED(TWTY_STR128),
                            NAMED(TWTY_STR255)};

#undef NAMED

std::string ProductName(const TW_IDENTITY& identity) {
    // Up to 34 bytes, not always closed by a zero.
    const char* name = identity.ProductName;
    return "\"" + std::string(name, strnlen(name, sizeof identity.ProductName)) + "\"";
}

// What a capability request carried: the capability, the container, and for
// a one-value container its item type and value. A container is only read
// when it is large enough to be what it says.
std::string Capability(const TW_CAPABILITY& capability) {
    std::string text =
        NameOf(kCaps, capability.Cap) + " " + NameOf(kContainers, capability.ConType);
    const HGLOBAL container = capability.hContainer;
    if (container == nullptr || capability.ConType != TWON_ONEVALUE ||
        GlobalSize(container) < sizeof(TW_ONEVALUE))
        return text;
    const void* at = GlobalLock(container);
    if (at == nullptr) return text;
    TW_ONEVALUE one;
    std::memcpy(&one, at, sizeof one);
    GlobalUnlock(container);
    return text + " " + NameOf(kItemTypes, one.ItemType) + " " + std::to_string(one.Item);
}

std::string Carried(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data, TW_UINT16 returnCode) {
    if (data == nullptr) return {};
    switch (dat) {
        case DAT_CAPABILITY:
            return ": " + Capability(*static_cast<const TW_CAPABILITY*>(data));
        case DAT_IDENTITY:
            if (msg == MSG_OPENDS || returnCode == TWRC_SUCCESS)
                return ": " + ProductName(*static_cast<const TW_IDENTITY*>(data));
            return {};
        case DAT_USERINTERFACE: {
            const auto* ui = static_cast<const TW_USERINTERFACE*>(data);
            return std::string(": ShowUI ") + (ui->ShowUI ? "TRUE" : "FALSE");
        }
        case DAT_EVENT:
            return ": TWMessage " + NameOf(kMsgs, static_cast<const TW_EVENT*>(data)->TWMessage);
        case DAT_PENDINGXFERS:
            return ": Count " + std::to_string(static_cast<const TW_PENDINGXFERS*>(data)->Count);
        case DAT_IMAGEINFO: {
            const auto* info = static_cast<const TW_IMAGEINFO*>(data);
            return ": " + std::to_string(info->ImageWidth) + " x " +
                   std::to_string(info->ImageLength) + ", " + std::to_string(info->BitsPerPixel) +
                   " bits";
        }
        default:
            return {};
    }
}

}  // namespace

std::string TwainRequestLine(const TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 dat,
                             TW_UINT16 msg, TW_MEMREF data, TW_UINT16 returnCode,
                             TW_UINT16 conditionCode) {
    // The names as twain.h spells them, then the same triplet by number.
    const auto bare = [](const std::string& named) { return named.substr(0, named.find('(')); };
    std::string line = "twain " + bare(NameOf(kGroups, group)) + "/" + bare(NameOf(kDats, dat)) +
                       "/" + bare(NameOf(kMsgs, msg)) + " (" + std::to_string(group) + "/" +
                       std::to_string(dat) + "/" + std::to_string(msg) + ")";
    line += destination != nullptr ? " to source " + ProductName(*destination) : " to manager";
    line += Carried(dat, msg, data, returnCode);
    line += " -> " + NameOf(kReturnCodes, returnCode);
    if (returnCode != TWRC_SUCCESS) line += ", condition " + NameOf(kConditions, conditionCode);
    return line;
}
