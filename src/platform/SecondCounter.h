#pragma once

#include <QtGlobal>

namespace orvane::platform {

// Whole seconds since a start, counted as the wall clock's second boundaries
// passed, but on the steady clock: the count starts at the wall clock's phase
// within its second, so it agrees with the wall clock while that runs evenly,
// and a clock set back or forward meanwhile changes nothing.
class SecondCounter
{
public:
    // Starts now.
    void start();
    bool isValid() const { return m_start >= 0; }
    // Second boundaries passed since the start; 0 before any start.
    qint64 secondsPassed() const;
    // Milliseconds until the next boundary (1..1000).
    int msecsToNextBoundary() const;

private:
    qint64 sinceStartOfSecond() const;

    qint64 m_start = -1; // steady milliseconds
    int m_phase = 0; // the wall clock's milliseconds into its second at the start
};

} // namespace orvane::platform
