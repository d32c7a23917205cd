#pragma once

#include <optional>
#include <string>
#include <string_view>

// The TWAIN manager names sources in the ANSI code page of the machine;
// Java speaks UTF-16. The names cross between the two here.

std::u16string AnsiToUtf16(std::string_view ansi);

// Nothing when the text has a character that the ANSI code page cannot
// represent: no source can bear such a name, and a substitute character
// could match one that does not.
std::optional<std::string> Utf16ToAnsi(std::u16string_view text);
