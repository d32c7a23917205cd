// Any raw command line may reach the launcher. Every argument it splits off
// must reach Java exactly as it was received, so the quoted arguments are read
// back here the way java.exe reads its command line and compared.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "command_line.h"
#include "fuzz_check.h"

namespace {

// The Microsoft C runtime's rules, which java.exe follows: blanks and tabs
// outside quotes separate; 2n backslashes before a quote give n and the quote
// opens or closes; 2n+1 give n and a literal quote; other backslashes are
// literal.
std::vector<std::string> ReadAsJava(std::string_view line) {
    std::vector<std::string> arguments;
    std::size_t i = 0;
    for (;;) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i == line.size()) return arguments;
        std::string argument;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
            std::size_t backslashes = 0;
            while (i < line.size() && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                argument.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    argument += '"';
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(backslashes, '\\');
                if (backslashes == 0) argument += line[i++];
            }
        }
        arguments.push_back(std::move(argument));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // GetCommandLineA gives a zero-terminated string.
    std::string_view raw(reinterpret_cast<const char*>(data), size);
    raw = raw.substr(0, raw.find('\0'));

    const std::vector<std::string> split = SplitArguments(raw);
    for (const std::string& argument : split) {
        FUZZ_CHECK(!argument.empty());
        FUZZ_CHECK(argument.find('"') == std::string::npos);
    }

    const std::vector<std::string> passedOn(split.empty() ? split.end() : split.begin() + 1,
                                            split.end());
    FUZZ_CHECK(ReadAsJava(QuoteArguments(raw)) == passedOn);
    return 0;
}
