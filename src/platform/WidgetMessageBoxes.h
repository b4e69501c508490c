#pragma once

#include "platform/MessageBoxes.h"

namespace orvane::platform {

// QMessageBox, modal with OK only; installed as the real boxes by the control.
class WidgetMessageBoxes final : public MessageBoxes
{
public:
    void show(const QString &text, const QString &caption) override;
    static void installAsReal();
};

} // namespace orvane::platform
