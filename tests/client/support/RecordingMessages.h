// Message boxes that never block: each is recorded and answered at once,
// from queued answers when there are some, else Ok / No.
#pragma once

#include "core/ui/MessageService.h"

#include <deque>
#include <string>
#include <vector>

namespace testsupport {

class RecordingMessages : public mavo::CMessageService {
public:
    struct Shown {
        std::string caption;
        std::string text;
        Icon icon;
        Buttons buttons;
    };

    int Show(QWidget*, const QString& caption, const QString& text, Icon icon, Buttons buttons) override
    {
        shown.push_back({caption.toStdString(), text.toStdString(), icon, buttons});
        if (!answers.empty()) {
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return buttons == Buttons::Ok ? Ok : No;
    }

    // The boxes shown with this caption, oldest first.
    std::vector<Shown> WithCaption(const std::string& caption) const
    {
        std::vector<Shown> found;
        for (const Shown& s : shown)
            if (s.caption == caption)
                found.push_back(s);
        return found;
    }

    std::vector<Shown> shown;
    std::deque<int> answers;
};

} // namespace testsupport
