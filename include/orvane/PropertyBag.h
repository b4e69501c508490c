#pragma once

#include <orvane/orvane_export.h>

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace orvane {

/// The host's saved properties of one control: texts, booleans and pictures
/// (pictures as PNG bytes). Reads take a default for an absent entry; writes
/// leave out (and remove) a value equal to its default.
class ORVANE_EXPORT PropertyBag
{
public:
    virtual ~PropertyBag();

    /// The stored value of @p name; none when the bag has no such entry.
    virtual std::optional<QVariant> value(const QString &name) const = 0;
    /// Stores @p value under @p name, replacing an earlier one.
    virtual void setValue(const QString &name, const QVariant &value) = 0;
    /// Removes the entry @p name; nothing happens when there is none.
    virtual void remove(const QString &name) = 0;

    /// The entry @p name as text; @p defaultValue when absent.
    QString readText(const QString &name, const QString &defaultValue) const;
    /// The entry @p name as a boolean ("True"/"False" or a number as text);
    /// @p defaultValue when absent.
    bool readBool(const QString &name, bool defaultValue) const;
    /// The picture @p name as PNG bytes; empty when there is none.
    QByteArray readPicture(const QString &name) const;

    /// Writes the text @p value under @p name (no default: always written).
    void writeText(const QString &name, const QString &value);
    /// Writes the text @p value, or removes the entry when it equals @p defaultValue.
    void writeText(const QString &name, const QString &value, const QString &defaultValue);
    /// Writes the boolean @p value, or removes the entry when it equals @p defaultValue.
    void writeBool(const QString &name, bool value, bool defaultValue);
    /// Writes a picture as PNG bytes; the default is "none", so an empty
    /// picture removes the entry.
    void writePicture(const QString &name, const QByteArray &png);
};

/// A bag held in memory, for a new placement or a host that keeps the
/// properties itself.
class ORVANE_EXPORT MemoryPropertyBag : public PropertyBag
{
public:
    /// An empty bag: every read gives its default.
    MemoryPropertyBag();
    ~MemoryPropertyBag() override;

    std::optional<QVariant> value(const QString &name) const override;
    void setValue(const QString &name, const QVariant &value) override;
    void remove(const QString &name) override;
    /// Every entry of the bag, by name.
    const QMap<QString, QVariant> &values() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};

/// A bag kept in an INI file, one section per control. Every access reads
/// or writes the file.
class ORVANE_EXPORT IniPropertyBag : public PropertyBag
{
public:
    /// The bag in section @p section of the INI file @p fileName (created on
    /// the first write).
    explicit IniPropertyBag(QString fileName, QString section = QStringLiteral("Orvane"));
    ~IniPropertyBag() override;

    std::optional<QVariant> value(const QString &name) const override;
    void setValue(const QString &name, const QVariant &value) override;
    void remove(const QString &name) override;
    /// The INI file's name, as given.
    const QString &fileName() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace orvane
