#include "platform/Environment.h"

#include <cstdlib>

namespace platform {
namespace {

class PosixEnvironment : public Environment {
public:
    bool get(const std::string& name, std::string& value) const override {
        const char* v = std::getenv(name.c_str());
        if (v == nullptr) return false;
        value = v;
        return true;
    }
};

}  // namespace

Environment* nativeEnvironment() {
    static PosixEnvironment instance;
    return &instance;
}

}  // namespace platform
