#include <orvane/PropertyBag.h>

#include <QSettings>

namespace orvane {

PropertyBag::~PropertyBag() = default;

QString PropertyBag::readText(const QString &name, const QString &defaultValue) const
{
    const auto v = value(name);
    return v ? v->toString() : defaultValue;
}

bool PropertyBag::readBool(const QString &name, bool defaultValue) const
{
    const auto v = value(name);
    if (!v)
        return defaultValue;
    if (v->typeId() == QMetaType::Bool)
        return v->toBool();
    const QString text = v->toString().trimmed();
    if (text.compare(u"true", Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(u"false", Qt::CaseInsensitive) == 0)
        return false;
    return text.toLongLong() != 0;
}

QByteArray PropertyBag::readPicture(const QString &name) const
{
    const auto v = value(name);
    return v ? v->toByteArray() : QByteArray();
}

void PropertyBag::writeText(const QString &name, const QString &v)
{
    setValue(name, v);
}

void PropertyBag::writeText(const QString &name, const QString &v, const QString &defaultValue)
{
    if (v == defaultValue)
        remove(name);
    else
        setValue(name, v);
}

void PropertyBag::writeBool(const QString &name, bool v, bool defaultValue)
{
    if (v == defaultValue)
        remove(name);
    else
        setValue(name, v);
}

void PropertyBag::writePicture(const QString &name, const QByteArray &png)
{
    if (png.isEmpty())
        remove(name);
    else
        setValue(name, png);
}

class MemoryPropertyBag::Private
{
public:
    QMap<QString, QVariant> values;
};

MemoryPropertyBag::MemoryPropertyBag()
    : d(std::make_unique<Private>())
{
}

MemoryPropertyBag::~MemoryPropertyBag() = default;

const QMap<QString, QVariant> &MemoryPropertyBag::values() const
{
    return d->values;
}

std::optional<QVariant> MemoryPropertyBag::value(const QString &name) const
{
    const auto it = d->values.constFind(name);
    if (it == d->values.constEnd())
        return std::nullopt;
    return *it;
}

void MemoryPropertyBag::setValue(const QString &name, const QVariant &v)
{
    d->values.insert(name, v);
}

void MemoryPropertyBag::remove(const QString &name)
{
    d->values.remove(name);
}

class IniPropertyBag::Private
{
public:
    QString fileName;
    QString section;
};

IniPropertyBag::IniPropertyBag(QString fileName, QString section)
    : d(new Private {std::move(fileName), std::move(section)})
{
}

IniPropertyBag::~IniPropertyBag() = default;

const QString &IniPropertyBag::fileName() const
{
    return d->fileName;
}

std::optional<QVariant> IniPropertyBag::value(const QString &name) const
{
    QSettings settings(d->fileName, QSettings::IniFormat);
    settings.beginGroup(d->section);
    if (!settings.contains(name))
        return std::nullopt;
    return settings.value(name);
}

void IniPropertyBag::setValue(const QString &name, const QVariant &v)
{
    QSettings settings(d->fileName, QSettings::IniFormat);
    settings.beginGroup(d->section);
    settings.setValue(name, v);
}

void IniPropertyBag::remove(const QString &name)
{
    QSettings settings(d->fileName, QSettings::IniFormat);
    settings.beginGroup(d->section);
    settings.remove(name);
}

} // namespace orvane
