#pragma once

// The document's host while an edit script runs: it shows nothing, keeps what the document
// reports (the cause of a failed save, a refusal), and answers every question with No, so that a
// script never overwrites anything by surprise.

#include "document/IDocHost.h"

#include <string>
#include <utility>

class EditHost final : public IDocHost {
public:
    // What the document reported since the last call, lines joined by "; ".
    std::string takeMessages() { return std::exchange(m_messages, std::string()); }

    // IDocHost
    void setModified(bool) override {}
    void showStatus(std::string_view text) override { keep(text); }
    void printOutput(std::string_view line) override { keep(line); }
    HostAnswer ask(int, std::string_view) override { return HostAnswer::No; }

private:
    void keep(std::string_view text) {
        if (text.empty())
            return;
        if (!m_messages.empty())
            m_messages += "; ";
        m_messages += text;
    }

    std::string m_messages;
};
