#include "platform/Icons.h"

namespace platform {
namespace {

// Linux hosts take no icon handles from a plug-in, and the .so carries no
// icon resources.
class LinuxIcons : public Icons {
public:
    bool available() const override { return false; }
    void* load(int, int) override { return nullptr; }
};

}  // namespace

Icons* nativeIcons() {
    static LinuxIcons instance;
    return &instance;
}

}  // namespace platform
