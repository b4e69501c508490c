#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

#include <optional>

namespace orvane {

// The host's saved properties of one control: texts, booleans and pictures
// (pictures as PNG bytes). Reads take a default for an absent entry; writes
// leave out (and remove) a value equal to its default.
class PropertyBag
{
public:
    virtual ~PropertyBag();

    virtual std::optional<QVariant> value(const QString &name) const = 0;
    virtual void setValue(const QString &name, const QVariant &value) = 0;
    virtual void remove(const QString &name) = 0;

    QString readText(const QString &name, const QString &defaultValue) const;
    bool readBool(const QString &name, bool defaultValue) const;
    QByteArray readPicture(const QString &name) const; // empty: none

    // No default: always written.
    void writeText(const QString &name, const QString &value);
    void writeText(const QString &name, const QString &value, const QString &defaultValue);
    void writeBool(const QString &name, bool value, bool defaultValue);
    // The default is "none": an empty picture is not written.
    void writePicture(const QString &name, const QByteArray &png);
};

// A bag held in memory.
class MemoryPropertyBag : public PropertyBag
{
public:
    std::optional<QVariant> value(const QString &name) const override;
    void setValue(const QString &name, const QVariant &value) override;
    void remove(const QString &name) override;
    const QMap<QString, QVariant> &values() const { return m_values; }

private:
    QMap<QString, QVariant> m_values;
};

// A bag kept in an INI file (one section per control).
class IniPropertyBag : public PropertyBag
{
public:
    explicit IniPropertyBag(QString fileName, QString section = QStringLiteral("Orvane"));
    std::optional<QVariant> value(const QString &name) const override;
    void setValue(const QString &name, const QVariant &value) override;
    void remove(const QString &name) override;
    const QString &fileName() const { return m_fileName; }

private:
    QString m_fileName;
    QString m_section;
};

} // namespace orvane
