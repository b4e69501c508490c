#pragma once

#include <QString>

namespace orvane {

// The services a host offers the control it embeds: the ambient user mode, the
// property-changed notification and the sizing of the control's face.
class Container
{
public:
    virtual ~Container();
    // True while the host runs; false in a design environment.
    virtual bool UserMode() const = 0;
    virtual void PropertyChanged(const QString &propertyName) = 0;
    // The control asks for its face to have this size, in twips.
    virtual void SetExtent(int widthTwips, int heightTwips) = 0;
};

// The container of a plain Qt host: always at run time, no design environment.
class DefaultContainer : public Container
{
public:
    bool UserMode() const override { return true; }
    void PropertyChanged(const QString &) override {}
    void SetExtent(int, int) override {}
};

} // namespace orvane
