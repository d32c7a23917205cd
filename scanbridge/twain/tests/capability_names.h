#pragma once

// The capabilities the bridge negotiates, by the names a TWAIN log uses, for
// readable request sequences in tests.

#include <cstdio>
#include <string>

// clang-format off
#include <windows.h>
#include <twain.h>
// clang-format on

inline std::string CapName(TW_UINT16 cap) {
    switch (cap) {
        case CAP_XFERCOUNT:
            return "XFERCOUNT";
        case ICAP_PIXELTYPE:
            return "PIXELTYPE";
        case CAP_DUPLEXENABLED:
            return "DUPLEXENABLED";
        case ICAP_XRESOLUTION:
            return "XRESOLUTION";
        case ICAP_YRESOLUTION:
            return "YRESOLUTION";
        case ICAP_SUPPORTEDSIZES:
            return "SUPPORTEDSIZES";
    }
    char text[16];
    std::snprintf(text, sizeof(text), "0x%04X", cap);
    return text;
}
