#include "platform/Icons.h"

#include <windows.h>

#include "platform/Module.h"
#include "platform/Platform.h"

namespace platform {
namespace {

class Win32Icons : public Icons {
public:
    bool available() const override { return true; }
    void* load(int id, int pixels) override {
        HINSTANCE instance = static_cast<HINSTANCE>(module().handle());
        return LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, pixels, pixels, LR_DEFAULTCOLOR);
    }
};

}  // namespace

Icons* nativeIcons() {
    static Win32Icons instance;
    return &instance;
}

}  // namespace platform
