#pragma once

#include <orvane/orvane_export.h>

#include <QString>

namespace orvane {

/// The services a host offers the control it embeds: the ambient user mode, the
/// property-changed notification and the sizing of the control's face.
class ORVANE_EXPORT Container
{
public:
    virtual ~Container();
    /// True while the host runs; false in a design environment.
    virtual bool UserMode() const = 0;
    /// The control tells that its property @p propertyName changed (a design
    /// environment marks the form modified).
    virtual void PropertyChanged(const QString &propertyName) = 0;
    /// The control asks for its face to have this size, in twips.
    virtual void SetExtent(int widthTwips, int heightTwips) = 0;
};

/// The container of a plain Qt host: always at run time, no design environment.
class ORVANE_EXPORT DefaultContainer : public Container
{
public:
    bool UserMode() const override { return true; }
    void PropertyChanged(const QString &) override {}
    void SetExtent(int, int) override {}
};

} // namespace orvane
