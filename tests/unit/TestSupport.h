// Shared test helpers: a log sink that records lines, and a fixture that puts
// the in-memory platform in place and gives every test a fresh tree.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "KeyholdApp.h"
#include "Log.h"
#include "TreeNode.h"
#include "platform/Clock_memory.h"
#include "platform/Desktop_memory.h"
#include "platform/Dialogs_memory.h"
#include "platform/LastError_memory.h"
#include "platform/Environment_memory.h"
#include "platform/Files_memory.h"
#include "platform/MessageBoxes_memory.h"
#include "platform/Module_memory.h"
#include "platform/Platform.h"

struct RecordingLog : CLogSink {
    struct Line {
        int level;
        std::string unit;
        std::string message;
    };
    std::vector<Line> lines;
    void log(int level, const char* unit, int, const std::string& message) override {
        lines.push_back({level, unit, message});
    }
    bool has(int level, const std::string& message) const {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const Line& l) { return l.level == level && l.message == message; });
    }
    int count(const std::string& message) const {
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const Line& l) { return l.message == message; }));
    }
};

class PlatformFixture : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = platform::services();
        platform::Services& s = platform::services();
        s.module = &module;
        s.environment = &environment;
        s.desktop = &desktop;
        s.messageBoxes = &messageBoxes;
        s.clock = &clock;
        s.files = &files;
        s.dialogs = &dialogs;
        s.lastError = &lastError;
        previousLogger_ = keyholdlog::setLogger(&log);
        resetTreeForTesting();
        resetUniqueNumbersForTesting();
    }
    void TearDown() override {
        resetTreeForTesting();
        keyholdlog::setLogger(previousLogger_);
        platform::services() = saved_;
    }

    platform::MemoryModule module;
    platform::MemoryEnvironment environment;
    platform::MemoryDesktop desktop;
    platform::MemoryMessageBoxes messageBoxes;
    platform::MemoryClock clock;
    platform::MemoryFiles files;
    platform::MemoryDialogs dialogs;
    platform::MemoryLastError lastError;
    RecordingLog log;

private:
    platform::Services saved_;
    CLogSink* previousLogger_ = nullptr;
};

// Names of the children of a position, in order.
inline std::vector<std::string> childNames(TreePos parent) {
    std::vector<std::string> names;
    for (const tTreeNode& n : passwordTree().children(parent)) names.push_back(n.name);
    return names;
}

inline tTreeNode makeEntry(const std::string& title) {
    tTreeNode e;
    e.name = title;
    e.nodeType = eNode_File;
    e.fileAttributes = wfx::kAttrNormal;
    e.setUniqueNumber(0, 1);
    return e;
}
