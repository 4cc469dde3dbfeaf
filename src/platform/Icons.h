// Icon resources of this library's module.
#pragma once

namespace platform {

class Icons {
public:
    virtual ~Icons() = default;
    // False where the library carries no icon resources; the host then shows
    // its own icons.
    virtual bool available() const = 0;
    // Loads the icon resource `id` of this library at `pixels` by `pixels`;
    // null when it cannot be loaded. The handle goes to the caller.
    virtual void* load(int id, int pixels) = 0;
};

}  // namespace platform
