// A dialogs service for tests: records every message and answers Yes/No
// questions from a script (Yes when the script has run out, unless told
// otherwise); an OK box's "Don't show again" is ticked when told.
#pragma once

#include "platform/dialogs.h"

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

class ScriptedDialogs : public platform::Dialogs {
public:
    platform::Answer show(const platform::Message& message) override
    {
        messages.push_back(message);
        if (failing)
            throw std::runtime_error("The message box could not be shown.");
        if (message.buttons == platform::Buttons::Ok)
            return dontShowAgain && !message.dontShowAgain.empty() ? platform::Answer::OkDontShowAgain
                                                                   : platform::Answer::Ok;
        if (answering)
            return answering(message);
        if (answers.empty())
            return defaultAnswer;
        const platform::Answer a = answers.front();
        answers.pop_front();
        return a;
    }

    // The texts of the messages shown, in order.
    std::vector<std::string> texts() const
    {
        std::vector<std::string> all;
        for (const auto& m : messages)
            all.push_back(m.text);
        return all;
    }
    // The same texts, each followed by a line break: one string for a failure's trace.
    std::string transcript() const
    {
        std::string all;
        for (const auto& m : messages)
            all += m.text + "\n";
        return all;
    }

    std::vector<platform::Message> messages;
    std::deque<platform::Answer> answers;
    std::function<platform::Answer(const platform::Message&)> answering;  // when set, it answers every question
    platform::Answer defaultAnswer = platform::Answer::Yes;
    bool failing = false;  // every show throws after recording its message
    bool dontShowAgain = false;  // ticks "Don't show again" in every box that offers it
};

}  // namespace testsupport
