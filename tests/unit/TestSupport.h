// Shared test helpers: a log sink that records lines, and a fixture that puts
// the in-memory platform in place and gives every test a fresh tree.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "KeyholdApp.h"
#include "Log.h"
#include "TreeNode.h"
#include "platform/Services_memory.h"

// The plug-in's own threads log too: writes are serialised. Read the lines
// once those threads are stopped or idle.
struct RecordingLog : CLogSink {
    struct Line {
        int level;
        std::string unit;
        std::string message;
    };
    std::vector<Line> lines;
    std::mutex mutex;
    void log(int level, const char* unit, int, const std::string& message) override {
        std::lock_guard<std::mutex> guard(mutex);
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

class PlatformFixture : public ::testing::Test, protected platform::MemoryServices {
protected:
    void SetUp() override {
        saved_ = platform::services();
        install();
        previousLogger_ = keyholdlog::setLogger(&log);
        resetTreeForTesting();
        resetUniqueNumbersForTesting();
    }
    void TearDown() override {
        // The plug-in's threads use the services and the log; they end first.
        theApp().stopThreads();
        resetTreeForTesting();
        keyholdlog::setLogger(previousLogger_);
        platform::services() = saved_;
    }

    RecordingLog log;

private:
    platform::Services saved_;
    CLogSink* previousLogger_ = nullptr;
};

// The in-memory platform with the master password "master" in place.
class MasterPasswordFixture : public PlatformFixture {
protected:
    void SetUp() override {
        PlatformFixture::SetUp();
        theApp().m_masterPassword.setText("master");
    }
    void TearDown() override {
        theApp().m_masterPassword.clear();
        PlatformFixture::TearDown();
    }
};

// Names of the children of a position, in order.
inline std::vector<std::string> childNames(TreePos parent) {
    std::vector<std::string> names;
    for (const tTreeNode& n : passwordTree().children(parent)) names.push_back(n.name);
    return names;
}

// A text as UTF-16 bytes behind their byte-order mark, as an export in
// UTF-16 holds it.
inline std::string utf16(const std::u16string& text, bool littleEndian) {
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t unit : text) {
        const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
        out += littleEndian ? low : high;
        out += littleEndian ? high : low;
    }
    return out;
}

inline tTreeNode makeEntry(const std::string& title) {
    tTreeNode e;
    e.name = title;
    e.nodeType = eNode_File;
    e.fileAttributes = wfx::kAttrNormal;
    e.setUniqueNumber(0, 1);
    return e;
}
