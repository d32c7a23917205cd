#pragma once

#include <windows.h>

#include <string>

// The file that CreateProcess starts for a command line that begins with the
// bare name java.exe, searched in its order: the launcher's own folder, the
// current folder, the system folder (as the thread's redirection state then
// shows it), the 16-bit system folder, the Windows folder, then PATH. Empty
// when it finds none.
std::string FindJavaLikeCreateProcess(const std::string& ownFolder);

// Whether path names a file, not a folder.
bool IsFile(const std::string& path);

// Whether the program at path is a 64-bit x86 Windows program, by the
// Machine field of its PE header. False for anything unreadable.
bool IsX64Program(const std::string& path);
