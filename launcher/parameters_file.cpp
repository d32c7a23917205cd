#include "parameters_file.h"

namespace {
constexpr char kEndOfText = 26;  // Ctrl-Z, the old DOS end-of-file mark
}

std::string ParametersFromBytes(std::string_view bytes) {
    std::string parameters;
    parameters.reserve(bytes.size());
    for (char c : bytes) {
        if (c == kEndOfText) break;
        // Line ends are not part of the content, and a CR is dropped whether or not an LF follows.
        if (c == '\n' || c == '\r') continue;
        parameters += c;
    }
    return parameters;
}
