// Feeds arbitrary bytes to the settings loader as the content of the
// settings file (SimpleIni through the plug-in's settings store and its
// typed settings). Besides not crashing, it checks that what the plug-in
// writes back reads back the same: every setting keeps its value through a
// save and a load, and a toggled setting is kept.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "KeyholdApp.h"
#include "PluginSettings.h"
#include "platform/Services_memory.h"

namespace {

const char* const kIni = "/f/keyHold.ini";

struct Harness : platform::MemoryServices {
    Harness() {
        install();
        module.name = "/f/keyhold.wfx";
    }
};

// Every setting as text, in a fixed order.
std::vector<std::string> values(PluginSettings& s) {
    auto b = [](bool v) { return std::string(v ? "1" : "0"); };
    return {s.m_datafile->GetValue(),       b(s.m_debugLogging->GetValue()),
            b(s.m_newEntryFolder->GetValue()), s.m_hotKey->GetValue(),
            s.m_masterPassword->GetValue(), b(s.m_defaultATW->GetValue()),
            b(s.m_autolock->GetValue()),    std::to_string(s.m_timeOutLock->GetValue()),
            b(s.m_enableReload->GetValue()), s.m_delay->GetValue(),
            b(s.m_explicitComment->GetValue()), s.m_dateFormat->GetValue(),
            s.m_logFormat->GetValue(),      s.m_keyMain->GetValue(),
            b(s.m_showAsFile->GetValue()),  std::to_string(s.m_keygenLength->GetValue())};
}

void check(bool ok, const char* what, std::size_t index) {
    if (ok) return;
    std::fprintf(stderr, "%s (setting %u)\n", what, static_cast<unsigned>(index));
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness& harness = *new Harness;
    PluginSettings& s = settings();
    harness.files.content.clear();
    harness.files.content[kIni].assign(reinterpret_cast<const char*>(data), size);
    s.load(kIni, "/f");
    const std::vector<std::string> first = values(s);

    // Written back and read again: the same settings.
    s.save();
    s.load(kIni, "/f");
    const std::vector<std::string> second = values(s);
    for (std::size_t i = 0; i < first.size(); ++i) check(first[i] == second[i], "changed by a save and a load", i);

    // The one setting the plug-in changes itself survives a save and a load.
    const bool atw = !s.m_defaultATW->GetValue();
    s.m_defaultATW->SetValue(atw);
    s.save();
    s.load(kIni, "/f");
    check(s.m_defaultATW->GetValue() == atw, "toggled setting lost", 5);
    const std::vector<std::string> third = values(s);
    for (std::size_t i = 0; i < first.size(); ++i) {
        if (i != 5) check(first[i] == third[i], "changed by toggling another setting", i);
    }
    harness.messageBoxes.shown.clear();
    return 0;
}
