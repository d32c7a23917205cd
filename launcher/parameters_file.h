#pragma once

#include <string>
#include <string_view>

// The parameter part of the java.exe command line, from the bytes of parametry.txt: the lines
// joined with nothing between them, in file order. A line ends at LF or CR LF, a CR on its own
// is dropped, and Ctrl-Z ends the text wherever it stands. A zero byte is kept as it is; the
// command line ends there when it is handed over (see JavaCommandLine).
std::string ParametersFromBytes(std::string_view bytes);
