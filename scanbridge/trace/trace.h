#pragma once

#include <string>

// The diagnostic trace: with SCANBRIDGE_TRACE naming a file in the process's
// environment when the library loads, one line per TWAIN request, image,
// Java callback and native goes to the end of that file. It changes nothing
// the bridge does, and without the variable it writes nothing: callers test
// On() before they build a line.
namespace trace {

// Reads SCANBRIDGE_TRACE and opens its file for appending. side names the
// writer in every line ("bridge", "front", "worker"). A path that cannot be
// opened is said once on standard error, and the trace stays off.
void Open(const char* side);
void Close();

bool On();

// One line: the time with milliseconds, the thread, the side, then text.
// Written straight to the file, so that a crash keeps every earlier line.
// Beyond the file's bound the trace says so once and writes no more.
void Line(const std::string& text);

// The trace for the lifetime of a module: a static object defined before
// the objects whose destruction still talks to TWAIN, so that it opens
// first and closes last.
class Session {
public:
    explicit Session(const char* side) { Open(side); }
    ~Session() { Close(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
};

}  // namespace trace
