// Any bytes may stand in parametry.txt. What reaches the java.exe command line
// must be the text before the first Ctrl-Z with every line end taken out, and
// the command line must hold no zero byte.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "command_line.h"
#include "fuzz_check.h"
#include "parameters_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string parameters = ParametersFromBytes(bytes);

    std::string expected;
    for (char c : bytes.substr(0, bytes.find('\x1a'))) {
        if (c != '\r' && c != '\n') expected += c;
    }
    FUZZ_CHECK(parameters == expected);

    const std::string line = JavaCommandLine(parameters);
    FUZZ_CHECK(line.rfind("java.exe ", 0) == 0);
    FUZZ_CHECK(line.find('\0') == std::string::npos);
    FUZZ_CHECK(line.size() <= 9 + parameters.size());
    FUZZ_CHECK(parameters.compare(0, line.size() - 9, line, 9) == 0);
    return 0;
}
