// Environment variables of the process.
#pragma once
#include <string>

namespace platform {

class Environment {
public:
    virtual ~Environment() = default;
    // True and the value when the variable is set.
    virtual bool get(const std::string& name, std::string& value) const = 0;
};

}  // namespace platform
