// In-memory environment for tests.
#pragma once
#include <map>

#include "platform/Environment.h"

namespace platform {

class MemoryEnvironment : public Environment {
public:
    std::map<std::string, std::string> variables;
    bool get(const std::string& name, std::string& value) const override {
        auto it = variables.find(name);
        if (it == variables.end()) return false;
        value = it->second;
        return true;
    }
};

}  // namespace platform
