#pragma once

#include "support/OVFault.h"

#include <QString>

// The trace file and the diagnostic message boxes. Process-wide: the switches
// and the trace file name are shared by every control instance.
namespace orvane::OVSimpleLog {

struct Switches
{
    bool LogErrorsToFile = false;
    bool VerboseErrors = false;
    bool LogWarningsToFile = false;
    bool VerboseWarnings = false;
};

Switches &switches();

// Reads the four switches from the Debug key, creating each missing one as "False".
void LoadSwitches();

// One line, unconditionally. Throws OVFault when the trace file cannot be written.
void WriteTraceLine(const QString &message);

// Reports a fault caught by an operation's handler under its source text.
// Never throws: a trace file that cannot be written loses the line.
void LogError(const QString &source, const OVFault &fault) noexcept;

// Reports a refusal or another anomaly. Throws OVFault when the trace file
// cannot be written, so that the caller's handler sees it.
void LogWarning(const QString &message);

// The trace file of this process, fixed at its first line; empty until then.
QString TraceFileName();

// The folder the trace file goes to: the module's folder when it can be
// written, else $XDG_STATE_HOME/Orvane (default ~/.local/state/Orvane).
QString TraceFolder();

// Forgets the trace file name and the switches (tests only).
void resetForTesting();

} // namespace orvane::OVSimpleLog
