#pragma once

#include <string>

// Receives the text of each launch stage. The launcher keeps no log, so it writes nothing; it
// is the one place to hook in when a stage must be traced.
void LogMessage(const std::string& text);
