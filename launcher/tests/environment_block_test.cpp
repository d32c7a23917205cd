#include "environment_block.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Block(std::initializer_list<const char*> entries) {
    std::string block;
    for (const char* entry : entries) {
        block += entry;
        block += '\0';
    }
    block += '\0';
    return block;
}

TEST(EnvironmentBlock, PathGetsTheFolderFirstAndNothingElseChanges) {
    struct Case {
        const char* what;
        std::string before;
        std::string after;
    } cases[] = {
        {"PATH in the middle", Block({"=C:=C:\\app", "Path=C:\\java\\bin;C:\\tools", "TEMP=C:\\t"}),
         Block({"=C:=C:\\app", "Path=C:\\app\\x64;C:\\java\\bin;C:\\tools", "TEMP=C:\\t"})},
        {"an empty PATH", Block({"PATH="}), Block({"PATH=C:\\app\\x64"})},
        {"no PATH at all", Block({"TEMP=C:\\t"}), Block({"TEMP=C:\\t", "PATH=C:\\app\\x64"})},
        {"an empty block", std::string(2, '\0'), Block({"PATH=C:\\app\\x64"})},
        {"names that only begin like PATH", Block({"PATHEXT=.EXE", "PAT=x"}),
         Block({"PATHEXT=.EXE", "PAT=x", "PATH=C:\\app\\x64"})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EnvironmentWithPathFirst(c.before.data(), "C:\\app\\x64"), c.after) << c.what;
    }
}

}  // namespace
