#pragma once

#include "document/KItemUI.h"
#include "storage/SimTime.h"

#include <string>

// A text anchored on a signal at a time.
class KWaveComment final : public KItemUI {
public:
    KWaveComment(SignalHandle signal, int rowPosition, SimTime time, std::string text)
        : m_signal(signal), m_rowPosition(rowPosition), m_time(time), m_text(std::move(text)) {}

    Kind kind() const override { return Kind::Comment; }
    SignalHandle signal() const override { return m_signal; }

    int rowPosition() const { return m_rowPosition; }
    void setRowPosition(int position) { m_rowPosition = position; }
    SimTime time() const { return m_time; }
    void setTime(SimTime time) { m_time = time; }
    const std::string& text() const { return m_text; }
    void setText(std::string text) { m_text = std::move(text); }

private:
    SignalHandle m_signal;
    int m_rowPosition;
    SimTime m_time;
    std::string m_text;
};
