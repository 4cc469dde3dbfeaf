#include "hkhandler/KeyholdHK.h"

#include <boost/tokenizer.hpp>

#include <cctype>
#include <map>
#include <thread>
#include <utility>

#include "AutoTypeDispatch.h"
#include "Log.h"
#include "platform/AutoTypeDesktop.h"
#include "platform/Platform.h"

namespace {

constexpr std::uint16_t kVkShift = 0x10;
constexpr std::uint16_t kVkControl = 0x11;
constexpr std::uint16_t kVkMenu = 0x12;

std::atomic<long long> g_releaseWaitMs{CKeyholdHK::kKeyReleaseWait.count()};

}  // namespace

CKeyholdHK::CKeyholdHK() = default;

// The dispatch reads this object's combination: the thread ends first.
CKeyholdHK::~CKeyholdHK() { stopHandler(); }

int CKeyholdHK::stopHandler() { return platform::autoTypeDesktop().stopHotKey(); }

bool CKeyholdHK::isStarted() { return platform::autoTypeDesktop().hotKeyStarted(); }

void CKeyholdHK::setKeyReleaseWaitForTesting(std::chrono::milliseconds wait) { g_releaseWaitMs = wait.count(); }

bool CKeyholdHK::parse(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // name -> (virtual key, modifier flag)
    const std::map<std::string, std::pair<std::uint16_t, std::uint16_t>> modifierNames{
        {"CTRL", {kVkControl, static_cast<std::uint16_t>(platform::kHotKeyControl)}},
        {"ALT", {kVkMenu, static_cast<std::uint16_t>(platform::kHotKeyAlt)}},
        {"SHIFT", {kVkShift, static_cast<std::uint16_t>(platform::kHotKeyShift)}}};
    m_parts = 0;
    KH_LOG(eImportant, "Parsing hot key");

    std::uint16_t modifiers = 0;
    std::uint16_t key = 0;
    using Tokens = boost::tokenizer<boost::char_separator<char>>;
    Tokens parts(upper, boost::char_separator<char>("-"));
    for (const std::string& part : parts) {
        ++m_parts;
        auto found = modifierNames.find(part);
        if (found != modifierNames.end()) {
            KH_LOG(eInformation, "key part: %s", part.c_str());
            modifiers = static_cast<std::uint16_t>(modifiers | found->second.second);
        } else if (part.size() == 1) {
            key = static_cast<unsigned char>(part[0]);
            KH_LOG(eInformation, "key part: %c", part[0]);
        } else {
            KH_LOG(eError, "Invalid key: %s", part.c_str());
            return false;
        }
    }
    // Modifiers alone (or nothing at all) name no key: registering virtual
    // key 0 would only fail, or catch a combination no one can press.
    if (key == 0) {
        KH_LOG(eError, "Hot key names no key: %s", upper.c_str());
        return false;
    }
    m_modifiers = modifiers;
    m_key = key;
    return true;
}

bool CKeyholdHK::setHotKey(const std::string& text) {
    KH_ENTER("setHotKey");
    if (!parse(text)) return false;
    platform::AutoTypeDesktop& desktop = platform::autoTypeDesktop();
    if (!desktop.hotKeyAvailable()) KH_LOG(eImportant, "Global hot key not available on this desktop");
    // Already started: the registration stays. Stopped: this combination
    // alone is registered.
    const int result = desktop.startHotKey(m_modifiers, m_key, [] { onHotKey(0); });
    if (result != 0) KH_LOG(eImportant, "Error initializing HotKey: %d", result);
    KH_LEAVE("setHotKey");
    return true;
}

bool CKeyholdHK::waitForKeysReleased() {
    platform::AutoTypeDesktop& desktop = platform::autoTypeDesktop();
    const std::uint16_t keys[] = {kVkControl, kVkMenu, kVkShift, m_key};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(g_releaseWaitMs.load());
    for (;;) {
        bool held = false;
        for (std::uint16_t k : keys) {
            if (k != 0 && desktop.isKeyDown(k)) {
                held = true;
                break;
            }
        }
        if (!held) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kKeyPollInterval);
    }
}

CKeyholdHK& keyholdHotKey() {
    static CKeyholdHK instance;
    return instance;
}
