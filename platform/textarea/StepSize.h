#pragma once

#include <QElapsedTimer>
#include <algorithm>

namespace vellumo {

// How many characters the next step of a big edit takes: as many as the steps before went in
// at in about kStepMs, at most `most`. A character costs more in a bigger document and on a
// busier machine; the window looks at its events between steps, so a step's time is what the
// window may wait.
class StepSize {
public:
    explicit StepSize(qsizetype most) : m_most(most), m_chars(std::min(most, kFirstChars))
    {
        m_since.start();
    }
    qsizetype chars() const { return m_chars; }
    // After a step of `chars`, before the events: the time since restart() is the step's.
    void took(qsizetype chars)
    {
        const double ms = std::max(0.25, double(m_since.nsecsElapsed()) / 1e6);
        const auto next = qsizetype(double(chars) * kStepMs / ms);
        m_chars = std::min({m_most, 2 * m_chars, std::max(kLeastChars, next)});
    }
    void restart() { m_since.start(); }

private:
    static constexpr double kStepMs = 15;
    static constexpr qsizetype kFirstChars = qsizetype(1) << 19;
    static constexpr qsizetype kLeastChars = qsizetype(1) << 14;

    qsizetype m_most;
    qsizetype m_chars;
    QElapsedTimer m_since;
};

} // namespace vellumo
