#include "capabilities.h"

#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

#include "global_memory.h"

namespace {

// How each offered capability is answered.
struct Offer {
    TW_UINT16 cap;
    TW_UINT16 itemType;
    TW_UINT16 container;  // the container of MSG_GET
    bool settable;
};

constexpr Offer kOffers[] = {
    {CAP_SUPPORTEDCAPS, TWTY_UINT16, TWON_ARRAY, false},
    {CAP_XFERCOUNT, TWTY_INT16, TWON_ONEVALUE, true},
    {CAP_UICONTROLLABLE, TWTY_BOOL, TWON_ONEVALUE, false},
    {CAP_DUPLEX, TWTY_UINT16, TWON_ONEVALUE, false},
    {CAP_DUPLEXENABLED, TWTY_BOOL, TWON_ONEVALUE, true},
    {ICAP_XFERMECH, TWTY_UINT16, TWON_ENUMERATION, true},
    {ICAP_PIXELTYPE, TWTY_UINT16, TWON_ENUMERATION, true},
    {ICAP_XRESOLUTION, TWTY_FIX32, TWON_ENUMERATION, true},
    {ICAP_YRESOLUTION, TWTY_FIX32, TWON_ENUMERATION, true},
    {ICAP_SUPPORTEDSIZES, TWTY_UINT16, TWON_ENUMERATION, true},
};

const Offer* FindOffer(TW_UINT16 cap) {
    for (const Offer& offer : kOffers) {
        if (offer.cap == cap) return &offer;
    }
    return nullptr;
}

// The values a set request may choose from; empty for values that are not a
// choice from a list.
std::vector<int> Choices(TW_UINT16 cap) {
    switch (cap) {
        case ICAP_XFERMECH:
            return {TWSX_NATIVE};
        case ICAP_PIXELTYPE:
            return {TWPT_BW, TWPT_GRAY, TWPT_RGB};
        case ICAP_XRESOLUTION:
        case ICAP_YRESOLUTION:
            return {75, 100, 150, 200, 300, 600};
        case ICAP_SUPPORTEDSIZES:
            return {TWSS_A4LETTER};
        default:
            return {};
    }
}

int Default(TW_UINT16 cap) {
    const ScanSettings defaults;
    switch (cap) {
        case CAP_XFERCOUNT:
            return defaults.transferCount;
        case CAP_UICONTROLLABLE:
            return TRUE;
        case CAP_DUPLEX:
            return TWDX_1PASSDUPLEX;
        case CAP_DUPLEXENABLED:
            return defaults.duplex ? TRUE : FALSE;
        case ICAP_XFERMECH:
            return TWSX_NATIVE;
        case ICAP_PIXELTYPE:
            return defaults.pixelType;
        case ICAP_XRESOLUTION:
            return defaults.xResolution;
        case ICAP_YRESOLUTION:
            return defaults.yResolution;
        default:
            return defaults.pageSize;
    }
}

bool IsWide(TW_UINT16 itemType) {
    return itemType == TWTY_FIX32 || itemType == TWTY_INT32 || itemType == TWTY_UINT32;
}

std::size_t ItemSize(TW_UINT16 itemType) { return IsWide(itemType) ? 4 : 2; }

// The bytes of a value in a container. A 16-bit item keeps its own bits
// (-1 is 0xFFFF); a resolution is a TW_FIX32 without fraction.
TW_UINT32 ItemBits(TW_UINT16 itemType, int value) {
    if (itemType == TWTY_FIX32) {
        TW_FIX32 fix{static_cast<TW_INT16>(value), 0};
        TW_UINT32 bits = 0;
        std::memcpy(&bits, &fix, sizeof(fix));
        return bits;
    }
    if (IsWide(itemType)) return static_cast<TW_UINT32>(value);
    return static_cast<TW_UINT16>(value);
}

void PutItem(unsigned char* at, TW_UINT16 itemType, int value) {
    const TW_UINT32 bits = ItemBits(itemType, value);
    std::memcpy(at, &bits, ItemSize(itemType));
}

HGLOBAL OneValue(TW_UINT16 itemType, int value) {
    const auto fill = [&](unsigned char* bytes) {
        auto* one = reinterpret_cast<pTW_ONEVALUE>(bytes);
        one->ItemType = itemType;
        one->Item = ItemBits(itemType, value);
    };
    return NewGlobalBlock(sizeof(TW_ONEVALUE), fill).release();
}

HGLOBAL Enumeration(TW_UINT16 itemType, const std::vector<int>& items, int current, int initial) {
    const std::size_t listOffset = offsetof(TW_ENUMERATION, ItemList);
    const auto fill = [&](unsigned char* bytes) {
        auto* list = reinterpret_cast<pTW_ENUMERATION>(bytes);
        list->ItemType = itemType;
        list->NumItems = static_cast<TW_UINT32>(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i] == current) list->CurrentIndex = static_cast<TW_UINT32>(i);
            if (items[i] == initial) list->DefaultIndex = static_cast<TW_UINT32>(i);
            PutItem(bytes + listOffset + ItemSize(itemType) * i, itemType, items[i]);
        }
    };
    return NewGlobalBlock(listOffset + ItemSize(itemType) * items.size(), fill).release();
}

HGLOBAL Array(TW_UINT16 itemType, const std::vector<int>& items) {
    const std::size_t listOffset = offsetof(TW_ARRAY, ItemList);
    const auto fill = [&](unsigned char* bytes) {
        auto* array = reinterpret_cast<pTW_ARRAY>(bytes);
        array->ItemType = itemType;
        array->NumItems = static_cast<TW_UINT32>(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
            PutItem(bytes + listOffset + ItemSize(itemType) * i, itemType, items[i]);
    };
    return NewGlobalBlock(listOffset + ItemSize(itemType) * items.size(), fill).release();
}

std::vector<int> OfferedCaps() {
    std::vector<int> caps;
    for (const Offer& offer : kOffers) caps.push_back(offer.cap);
    return caps;
}

// The value of a set request's one-value container, whatever integer or
// fixed-point type the application chose for it; nothing when the container
// holds no such value.
std::optional<int> ReadValue(const TW_CAPABILITY& capability) {
    if (capability.ConType != TWON_ONEVALUE || capability.hContainer == nullptr) return {};
    if (GlobalSize(capability.hContainer) < sizeof(TW_ONEVALUE)) return {};
    const void* locked = GlobalLock(capability.hContainer);
    if (locked == nullptr) return {};
    TW_ONEVALUE one;
    std::memcpy(&one, locked, sizeof(one));
    GlobalUnlock(capability.hContainer);
    switch (one.ItemType) {
        case TWTY_INT8:
            return static_cast<TW_INT8>(one.Item & 0xFF);
        case TWTY_UINT8:
            return static_cast<int>(one.Item & 0xFF);
        case TWTY_INT16:
            return static_cast<TW_INT16>(one.Item & 0xFFFF);
        case TWTY_UINT16:
        case TWTY_BOOL:
            return static_cast<int>(one.Item & 0xFFFF);
        case TWTY_INT32:
            return static_cast<TW_INT32>(one.Item);
        case TWTY_UINT32:
            if (one.Item > 0x7FFFFFFF) return {};
            return static_cast<int>(one.Item);
        case TWTY_FIX32: {
            TW_FIX32 fix;
            std::memcpy(&fix, &one.Item, sizeof(fix));
            // To the nearest whole number.
            return fix.Whole + (fix.Frac >= 0x8000 ? 1 : 0);
        }
        default:
            return {};
    }
}

// Whether a set request's value is one this source can take.
std::optional<int> Accepted(const Offer& offer, const TW_CAPABILITY& capability) {
    std::optional<int> value = ReadValue(capability);
    if (!value) return {};
    switch (offer.cap) {
        case CAP_XFERCOUNT: {
            // An unsigned 16-bit 0xFFFF has the bits of the -1 of "all images".
            if (*value == 0xFFFF) value = -1;
            if (*value == -1 || (*value >= 1 && *value <= 0x7FFF)) return value;
            return {};
        }
        case CAP_DUPLEXENABLED:
            return *value != 0 ? TRUE : FALSE;
        default:
            for (int choice : Choices(offer.cap)) {
                if (choice == *value) return value;
            }
            return {};
    }
}

}  // namespace

int Capabilities::Current(TW_UINT16 cap) const {
    switch (cap) {
        case CAP_XFERCOUNT:
            return settings_.transferCount;
        case CAP_DUPLEXENABLED:
            return settings_.duplex ? TRUE : FALSE;
        case ICAP_PIXELTYPE:
            return settings_.pixelType;
        case ICAP_XRESOLUTION:
            return settings_.xResolution;
        case ICAP_YRESOLUTION:
            return settings_.yResolution;
        case ICAP_SUPPORTEDSIZES:
            return settings_.pageSize;
        default:
            return Default(cap);
    }
}

void Capabilities::Store(TW_UINT16 cap, int value) {
    switch (cap) {
        case CAP_XFERCOUNT:
            settings_.transferCount = value;
            break;
        case CAP_DUPLEXENABLED:
            settings_.duplex = value != FALSE;
            break;
        case ICAP_PIXELTYPE:
            settings_.pixelType = static_cast<TW_UINT16>(value);
            break;
        case ICAP_XRESOLUTION:
            settings_.xResolution = value;
            break;
        case ICAP_YRESOLUTION:
            settings_.yResolution = value;
            break;
        case ICAP_SUPPORTEDSIZES:
            settings_.pageSize = static_cast<TW_UINT16>(value);
            break;
        default:
            break;  // a single choice: nothing to remember
    }
}

TW_UINT16 Capabilities::Set(TW_UINT16 cap, const TW_CAPABILITY& capability, TW_UINT16& condition) {
    const Offer& offer = *FindOffer(cap);
    const std::optional<int> value = Accepted(offer, capability);
    if (!value) {
        condition = TWCC_BADVALUE;
        return TWRC_FAILURE;
    }
    Store(cap, *value);
    return TWRC_SUCCESS;
}

TW_UINT16 Capabilities::Negotiate(TW_UINT16 msg, TW_CAPABILITY& capability, TW_UINT16& condition) {
    const Offer* offer = FindOffer(capability.Cap);
    if (offer == nullptr) {
        condition = TWCC_CAPUNSUPPORTED;
        return TWRC_FAILURE;
    }
    const bool changes = msg == MSG_SET || msg == MSG_RESET;
    if (changes && !offer->settable) {
        condition = TWCC_CAPBADOPERATION;
        return TWRC_FAILURE;
    }

    HGLOBAL answer = nullptr;
    TW_UINT16 answerType = TWON_ONEVALUE;
    switch (msg) {
        case MSG_GET:
        case MSG_GETCURRENT:
        case MSG_GETDEFAULT: {
            const int value = msg == MSG_GETDEFAULT ? Default(offer->cap) : Current(offer->cap);
            if (offer->container == TWON_ARRAY) {
                answerType = TWON_ARRAY;
                answer = Array(offer->itemType, OfferedCaps());
            } else if (msg == MSG_GET && offer->container == TWON_ENUMERATION) {
                answerType = TWON_ENUMERATION;
                answer =
                    Enumeration(offer->itemType, Choices(offer->cap), value, Default(offer->cap));
            } else {
                answer = OneValue(offer->itemType, value);
            }
            break;
        }
        case MSG_SET:
            return Set(offer->cap, capability, condition);
        case MSG_RESET:
            Store(offer->cap, Default(offer->cap));
            answer = OneValue(offer->itemType, Current(offer->cap));
            break;
        case MSG_QUERYSUPPORT: {
            int support = TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT;
            if (offer->settable) support |= TWQC_SET | TWQC_RESET;
            answer = OneValue(TWTY_INT32, support);
            break;
        }
        default:
            condition = TWCC_BADPROTOCOL;
            return TWRC_FAILURE;
    }
    if (answer == nullptr) {
        condition = TWCC_LOWMEMORY;
        return TWRC_FAILURE;
    }
    capability.ConType = answerType;
    capability.hContainer = answer;
    return TWRC_SUCCESS;
}
