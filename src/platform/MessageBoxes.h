#pragma once

#include "platform/Installable.h"

#include <QString>

namespace orvane::platform {

// Modal message boxes with an OK button only. The core has no widgets: until the
// control library installs its windowed implementation, boxes go to stderr.
class MessageBoxes : public Installable<MessageBoxes>
{
public:
    virtual ~MessageBoxes() = default;
    // An empty caption means the module's default caption, "Orvane".
    virtual void show(const QString &text, const QString &caption) = 0;

    static MessageBoxes &real();
    // The implementation real() returns; the control library sets its own.
    static void setReal(MessageBoxes *boxes);
};

} // namespace orvane::platform
