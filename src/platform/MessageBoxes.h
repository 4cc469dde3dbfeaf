// Message boxes. On Windows these are the system's message boxes; on Linux they
// reach the user through the host's request callback.
#pragma once
#include <functional>
#include <string>

namespace platform {

enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No, Cancel };
enum class MessageIcon { None, Error };

// The host's request callback as the plug-in uses it: a request type of the
// host interface, a title and a text; for text requests the answer is written
// into `answer` (preset with its initial value). False when the user cancelled.
using HostRequest = std::function<bool(int requestType, const std::string& title, const std::string& text,
                                       std::string& answer)>;

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer show(const std::string& text, const std::string& caption, MessageButtons buttons,
                               MessageIcon icon = MessageIcon::None) = 0;
    // The host's request callback, handed over by FsInit (empty before).
    virtual void setHostRequest(HostRequest request) = 0;
    // The host's main window, the owner of message boxes.
    virtual void setOwner(void* window) = 0;
};

}  // namespace platform
