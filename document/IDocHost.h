#pragma once

// What the document tells its host, and asks it.
//
// The document never shows anything itself: the window application, the command line and the
// tests each supply a host. The calls mirror what the environment around a waveform window
// offers: the modified mark, the status pane, the output window and yes/no questions.

#include <string_view>

enum class HostAnswer { Yes, No };

class IDocHost {
public:
    virtual ~IDocHost() = default;

    // The document was changed (true) or saved (false).
    virtual void setModified(bool modified) = 0;
    // A short text for the status pane (refusals such as "This signal is read-only").
    virtual void showStatus(std::string_view text) = 0;
    // A line for the output window (diagnostics of a simulation, of a load).
    virtual void printOutput(std::string_view line) = 0;
    // A yes/no question; `messageId` names it (62128, say) so that a host can answer by rule.
    virtual HostAnswer ask(int messageId, std::string_view text) = 0;
    // A message the user must see (62126, say); hosts without message boxes show it in the
    // status pane.
    virtual void showMessage(int messageId, std::string_view text) {
        (void)messageId;
        showStatus(text);
    }
};

// The host of the command line: remembers nothing, shows nothing and answers every question
// with the answer it was made with (No unless told otherwise, so nothing is overwritten by
// surprise).
class KQuietDocHost final : public IDocHost {
public:
    explicit KQuietDocHost(HostAnswer answer = HostAnswer::No) : m_answer(answer) {}

    // IDocHost
    void setModified(bool) override {}
    void showStatus(std::string_view) override {}
    void printOutput(std::string_view) override {}
    HostAnswer ask(int, std::string_view) override { return m_answer; }

private:
    HostAnswer m_answer;
};
