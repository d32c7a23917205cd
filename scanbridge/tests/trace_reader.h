#pragma once

// The lines of a SCANBRIDGE_TRACE file, for the tests that read one.

// clang-format off
#include <windows.h>
// clang-format on

#include <cstdio>
#include <string>
#include <vector>

// A file of this test's own in the temporary folder, removed.
inline std::string FreshTracePath(const char* name) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + name;
    DeleteFileA(path.c_str());
    return path;
}

inline std::vector<std::string> TraceLines(const std::string& path) {
    std::vector<std::string> lines;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return lines;
    std::string line;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        if (c == '\r') continue;
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    std::fclose(file);
    return lines;
}

// One TWAIN request of the trace: its side, its numbers, its return code.
struct TracedRequest {
    std::string side;
    unsigned dat = 0;
    unsigned msg = 0;
    unsigned returnCode = 0;
    std::string line;
};

// The part of each line after its time and thread: "<side> <what> ...".
inline std::string AfterHead(const std::string& line) {
    // "YYYY-MM-DD HH:MM:SS.mmm Tnnn "
    const std::size_t thread = line.find(" T", 20);
    if (thread == std::string::npos) return {};
    const std::size_t side = line.find(' ', thread + 1);
    return side == std::string::npos ? std::string() : line.substr(side + 1);
}

inline std::vector<TracedRequest> TracedRequests(const std::vector<std::string>& lines) {
    std::vector<TracedRequest> requests;
    for (const std::string& line : lines) {
        const std::string rest = AfterHead(line);
        const std::size_t space = rest.find(' ');
        if (space == std::string::npos || rest.compare(space + 1, 6, "twain ") != 0) continue;
        TracedRequest request;
        request.side = rest.substr(0, space);
        request.line = rest;
        unsigned group = 0;
        const std::size_t numbers = rest.find(" (");
        if (numbers == std::string::npos || std::sscanf(rest.c_str() + numbers, " (%u/%u/%u)",
                                                        &group, &request.dat, &request.msg) != 3)
            continue;
        const std::size_t code = rest.find(" -> ");
        const std::size_t open = rest.find('(', code);
        if (code == std::string::npos || open == std::string::npos ||
            std::sscanf(rest.c_str() + open, "(%u)", &request.returnCode) != 1)
            continue;
        requests.push_back(request);
    }
    return requests;
}

// The lines of one kind ("native", "callback", "image", ...), without their heads.
inline std::vector<std::string> TracedOf(const std::vector<std::string>& lines, const char* kind) {
    std::vector<std::string> found;
    const std::string prefix = std::string(kind) + " ";
    for (const std::string& line : lines) {
        const std::string rest = AfterHead(line);
        const std::size_t space = rest.find(' ');
        if (space != std::string::npos && rest.compare(space + 1, prefix.size(), prefix) == 0)
            found.push_back(rest.substr(space + 1));
    }
    return found;
}
