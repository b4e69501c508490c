#pragma once

#include <orvane/PropertyBag.h>
#include <orvane/orvane_export.h>

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
class ORVANE_EXPORT PropertyBagObject : public QObject, public PropertyBag
{
    Q_OBJECT
    /// The INI file; empty: the values are held in memory.
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName)
    /// The INI file's group for one control (default "Orvane").
    Q_PROPERTY(QString Section READ Section WRITE setSection)

public:
    /// An empty bag in memory; invokable, so QMetaObject::newInstance makes one too.
    Q_INVOKABLE explicit PropertyBagObject(QObject *parent = nullptr);
    ~PropertyBagObject() override;

    /// The INI file; empty while the values are held in memory.
    QString FileName() const;
    /// Keeps the values in this INI file from now on.
    void setFileName(const QString &fileName);
    /// The INI file's group.
    QString Section() const;
    /// Sets the INI file's group (one per control).
    void setSection(const QString &section);

    /// The value saved under name; nullopt when absent.
    std::optional<QVariant> value(const QString &name) const override;
    /// Saves a value under name.
    void setValue(const QString &name, const QVariant &value) override;
    /// Removes the value saved under name.
    void remove(const QString &name) override;

    /// A saved value by name; an invalid QVariant when absent.
    Q_INVOKABLE QVariant Read(const QString &name) const;
    /// Saves a value by name.
    Q_INVOKABLE void Write(const QString &name, const QVariant &value);

private:
    QString m_fileName;
    QString m_section = QStringLiteral("Orvane");
    MemoryPropertyBag m_memory;
};

} // namespace orvane
