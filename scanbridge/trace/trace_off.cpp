// Builds without Windows (the natives in a host JVM) have no trace.
#include "trace.h"

namespace trace {

void Open(const char*) {}
void Close() {}
bool On() { return false; }
void Line(const std::string&) {}

}  // namespace trace
