// The process-wide objects, constructed in this order when the library is
// loaded and destroyed in the reverse order when it is unloaded. The last one
// runs InitInstance once everything else exists, and ExitInstance first on the
// way out; the settings are written when the settings object goes.
#include "KeyholdApp.h"
#include "XmlData.h"
#include "hkhandler/KeyholdHK.h"
#include "platform/Platform.h"

namespace {

// The platform's services come first, so that they outlive everything below:
// the settings are written through them when the library is unloaded.
struct PlatformFirst {
    PlatformFirst() { platform::services(); }
} g_platformFirst;

CKeyholdApp g_app;
PasswordTree g_tree;
tNavigationState g_navigation;
PluginSettings g_settings;
XmlData g_xmlData;

// The hot-key object is made here, not at its first use, so that it still
// exists when ExitInstance stops its thread.
struct HotKeyBeforeLifeCycle {
    HotKeyBeforeLifeCycle() { keyholdHotKey(); }
} g_hotKeyBeforeLifeCycle;

struct FrameworkLifeCycle {
    FrameworkLifeCycle() { g_app.InitInstance(); }
    ~FrameworkLifeCycle() { g_app.ExitInstance(); }
};
FrameworkLifeCycle g_lifeCycle;

}  // namespace

CKeyholdApp& theApp() { return g_app; }
PasswordTree& passwordTree() { return g_tree; }
tNavigationState& navigation() { return g_navigation; }
PluginSettings& settings() { return g_settings; }
XmlData& xmlData() { return g_xmlData; }
