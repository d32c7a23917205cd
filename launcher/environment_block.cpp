#include "environment_block.h"

#include <cstring>

namespace {

bool IsPathEntry(const char* entry) {
    static const char kName[] = "PATH=";
    for (std::size_t i = 0; i < sizeof(kName) - 1; ++i) {
        const char c = entry[i];
        const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        if (upper != kName[i]) return false;
    }
    return true;
}

}  // namespace

std::string EnvironmentWithPathFirst(const char* block, const std::string& folder) {
    std::string out;
    bool hadPath = false;
    for (const char* entry = block; entry != nullptr && *entry != '\0';
         entry += std::strlen(entry) + 1) {
        if (!hadPath && IsPathEntry(entry)) {
            hadPath = true;
            const char* value = entry + 5;
            out.append(entry, 5);
            out += folder;
            if (*value != '\0') out += ';';
            out += value;
        } else {
            out += entry;
        }
        out += '\0';
    }
    if (!hadPath) {
        out += "PATH=" + folder;
        out += '\0';
    }
    out += '\0';
    return out;
}
