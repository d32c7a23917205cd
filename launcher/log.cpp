#include "log.h"

void LogMessage(const std::string& /*text*/) {}
