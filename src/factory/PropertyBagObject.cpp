#include <orvane/PropertyBagObject.h>

namespace orvane {

PropertyBagObject::PropertyBagObject(QObject *parent)
    : QObject(parent)
{
}

PropertyBagObject::~PropertyBagObject() = default;

QString PropertyBagObject::FileName() const
{
    return m_fileName;
}
void PropertyBagObject::setFileName(const QString &fileName)
{
    m_fileName = fileName;
}
QString PropertyBagObject::Section() const
{
    return m_section;
}
void PropertyBagObject::setSection(const QString &section)
{
    m_section = section;
}

std::optional<QVariant> PropertyBagObject::value(const QString &name) const
{
    return m_fileName.isEmpty() ? m_memory.value(name) : IniPropertyBag(m_fileName, m_section).value(name);
}

void PropertyBagObject::setValue(const QString &name, const QVariant &value)
{
    if (m_fileName.isEmpty())
        m_memory.setValue(name, value);
    else
        IniPropertyBag(m_fileName, m_section).setValue(name, value);
}

void PropertyBagObject::remove(const QString &name)
{
    if (m_fileName.isEmpty())
        m_memory.remove(name);
    else
        IniPropertyBag(m_fileName, m_section).remove(name);
}

QVariant PropertyBagObject::Read(const QString &name) const
{
    return value(name).value_or(QVariant());
}

void PropertyBagObject::Write(const QString &name, const QVariant &value)
{
    setValue(name, value);
}

} // namespace orvane
