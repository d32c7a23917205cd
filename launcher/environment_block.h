#pragma once

#include <string>

// A copy of the environment block (NAME=value strings, each closed by a zero
// byte, the block by one more) in which PATH starts with folder: the entry
// named PATH in any case gets "folder;" in front of its value, and a block
// without one gets PATH=folder at its end. Every other entry stays as it was.
std::string EnvironmentWithPathFirst(const char* block, const std::string& folder);
