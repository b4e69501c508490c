#pragma once

#include "platform/Installable.h"

#include <QString>

namespace orvane::platform {

// The control module's own folder and name (the trace file goes beside it).
class ModuleInfo : public Installable<ModuleInfo>
{
public:
    virtual ~ModuleInfo() = default;
    virtual QString folder() const = 0;
    virtual QString name() const = 0; // without folder and extension: "Orvane"

    static ModuleInfo &real();
};

} // namespace orvane::platform
