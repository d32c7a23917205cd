#include "command_line.h"

namespace {

bool IsSeparator(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

}  // namespace

std::vector<std::string> SplitArguments(std::string_view line) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (i < n && line[i] != '\0') {
        // Separators and empty quoted pairs before an argument are skipped together.
        for (;;) {
            while (i < n && IsSeparator(line[i])) ++i;
            if (i + 1 < n && line[i] == '"' && line[i + 1] == '"') {
                i += 2;
                continue;
            }
            break;
        }
        std::string argument;
        while (i < n && line[i] != '\0' && !IsSeparator(line[i])) {
            if (line[i] == '"') {
                ++i;
                while (i < n && line[i] != '\0' && line[i] != '"') argument += line[i++];
                if (i < n && line[i] == '"') ++i;
            } else {
                argument += line[i++];
            }
        }
        if (!argument.empty()) arguments.push_back(std::move(argument));
    }
    return arguments;
}

std::string QuoteArguments(std::string_view rawCommandLine) {
    const std::vector<std::string> arguments = SplitArguments(rawCommandLine);
    std::string quoted;
    for (std::size_t k = 1; k < arguments.size(); ++k) {
        const std::string& argument = arguments[k];
        std::size_t trailingBackslashes = 0;
        while (trailingBackslashes < argument.size() &&
               argument[argument.size() - 1 - trailingBackslashes] == '\\') {
            ++trailingBackslashes;
        }
        quoted += " \"";
        quoted += argument;
        quoted.append(trailingBackslashes, '\\');
        quoted += '"';
    }
    return quoted;
}

std::string JavaCommandLine(const std::string& parameters) {
    std::string line = "java.exe " + parameters;
    const std::size_t end = line.find('\0');
    if (end != std::string::npos) line.resize(end);
    return line;
}
