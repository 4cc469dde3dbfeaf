// In-memory message boxes for tests: records what was shown and answers from a
// queue (Ok or Yes when the queue is empty).
#pragma once
#include <deque>
#include <vector>

#include "platform/MessageBoxes.h"

namespace platform {

class MemoryMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        std::string text;
        std::string caption;
        MessageButtons buttons;
        MessageIcon icon;
    };
    std::vector<Shown> shown;
    std::deque<MessageAnswer> answers;

    MessageAnswer show(const std::string& text, const std::string& caption, MessageButtons buttons,
                       MessageIcon icon = MessageIcon::None) override {
        shown.push_back({text, caption, buttons, icon});
        if (!answers.empty()) {
            MessageAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
    }
    void setHostRequest(HostRequest) override {}
    void setOwner(void*) override {}
};

}  // namespace platform
