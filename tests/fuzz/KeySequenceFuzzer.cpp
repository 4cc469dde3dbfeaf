// Feeds arbitrary key sequences to the key-sending engine, typed through the
// Win32 desktop of auto-type into the in-memory key input (never into the
// real desktop). Besides not crashing
// or hanging, it checks what a sequence leaves behind: when the engine
// returns, no key is still held down.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "SendKeys/SendKeys.h"
#include "platform/Services_memory.h"

namespace {

struct Harness : platform::MemoryServices {
    Harness() {
        install();
        useWin32AutoType();
        keyInput.windows = {{"Notepad", "Untitled - Notepad"}, {"Chrome_WidgetWin_1", "Sign in - Browser"}};
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness& harness = *new Harness;
    if (size == 0) return 0;
    // The first byte chooses whether the engine waits for each key to be
    // taken; the rest is the sequence.
    const bool wait = (data[0] & 1) != 0;
    const std::string sequence(reinterpret_cast<const char*>(data) + 1, size - 1);
    harness.keyInput.calls.clear();
    harness.keyInput.down.clear();
    CSendKeys engine;
    engine.sendKeys(sequence, wait);
    if (!harness.keyInput.down.empty()) {
        std::fprintf(stderr, "%u key(s) left held down, the first 0x%02X\n",
                     static_cast<unsigned>(harness.keyInput.down.size()),
                     static_cast<unsigned>(*harness.keyInput.down.begin()));
        std::abort();
    }
    return 0;
}
