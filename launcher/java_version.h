#pragma once

#include <string_view>

// The oldest Java the application is known to run on.
constexpr int RequiredJavaVersion = 6;

// Version number of the registry's CurrentVersion text, or -1 when none can be read from it.
// "1.N" gives N and a text of digits only gives its number, so that Java 1.10 or 11 is not
// taken for an old one; any other text of three characters gives its third character, which
// must be a digit (std::runtime_error otherwise).
int JavaVersionFromText(std::string_view text);
