#pragma once

#include <string>
#include <string_view>
#include <vector>

// The arguments of a raw command line (as GetCommandLineA gives it), the program name first.
// Every character from 1 to 32 separates arguments; double quotes group blanks into an argument
// and are removed; a backslash is an ordinary character. Empty arguments are not returned.
std::vector<std::string> SplitArguments(std::string_view rawCommandLine);

// The launcher's own arguments (the program name left out), each as a blank and the argument
// in double quotes. Backslashes right before the closing quote are doubled, because java.exe
// reads \" as an escaped quote and would otherwise swallow the quote and what follows.
std::string QuoteArguments(std::string_view rawCommandLine);

// The command line that starts the Java application. It is handed to the system as a
// zero-terminated string, so it ends at the first zero byte of the parameters.
std::string JavaCommandLine(const std::string& parameters);
