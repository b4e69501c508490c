#pragma once

#include <QString>

namespace orvane::adserver {

// Builds the text of a PostgreSQL array, element by element: a whole column of
// a group travels as one bound value that the server unnests.
class PgArrayText
{
public:
    void add(const QString &text)
    {
        open();
        m_text += QLatin1Char('"');
        for (QChar c : text) {
            if (c == u'"' || c == u'\\')
                m_text += QLatin1Char('\\');
            m_text += c;
        }
        m_text += QLatin1Char('"');
    }
    void add(qint64 number)
    {
        open();
        m_text += QString::number(number);
    }
    void add(double number)
    {
        open();
        m_text += QString::number(number, 'g', 17);
    }
    bool isEmpty() const { return m_text.isEmpty(); }
    QString text() const { return isEmpty() ? QStringLiteral("{}") : m_text + QLatin1Char('}'); }

private:
    void open() { m_text += m_text.isEmpty() ? QLatin1Char('{') : QLatin1Char(','); }

    QString m_text;
};

} // namespace orvane::adserver
