#pragma once

#include <orvane/PropertyBag.h>

#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

namespace orvane {

/// A property bag that a host reaches through the meta-object system, for
/// hosts that create the control through the class factory (class name
/// "Orvane.PropertyBag") and pass the bag to its ReadProperties and
/// WriteProperties. With a FileName the values live in that INI file, in the
/// group Section; without one they are held in memory.
class PropertyBagObject : public QObject, public PropertyBag
{
    Q_OBJECT
    /// The INI file; empty: the values are held in memory.
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName)
    /// The INI file's group for one control (default "Orvane").
    Q_PROPERTY(QString Section READ Section WRITE setSection)

public:
    Q_INVOKABLE explicit PropertyBagObject(QObject *parent = nullptr);
    ~PropertyBagObject() override;

    QString FileName() const;
    void setFileName(const QString &fileName);
    QString Section() const;
    void setSection(const QString &section);

    std::optional<QVariant> value(const QString &name) const override;
    void setValue(const QString &name, const QVariant &value) override;
    void remove(const QString &name) override;

    /// A saved value by name; an invalid QVariant when absent.
    Q_INVOKABLE QVariant Read(const QString &name) const;
    Q_INVOKABLE void Write(const QString &name, const QVariant &value);

private:
    QString m_fileName;
    QString m_section = QStringLiteral("Orvane");
    MemoryPropertyBag m_memory;
};

} // namespace orvane
