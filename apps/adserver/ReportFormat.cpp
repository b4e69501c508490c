#include "ReportFormat.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace orvane::adserver {

namespace {

// Characters a terminal acts on instead of showing: C0 and C1 controls, DEL,
// and the marks that reorder what follows them on a line.
bool actsOnTerminal(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || (c >= 0x200E && c <= 0x200F)
        || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QStringList headings(const QList<ReportDimension> &by)
{
    QStringList names;
    for (ReportDimension d : by)
        names.append(ReportQuery::name(d));
    names << QStringLiteral("views") << QStringLiteral("clicks") << QStringLiteral("ctr") << QStringLiteral("reports");
    return names;
}

QString keyText(const QVariant &key)
{
    return key.typeId() == QMetaType::Int ? QString::number(key.toInt()) : ReportFormat::printable(key.toString());
}

QString fraction(double value)
{
    return QString::number(value, 'f', 6);
}

} // namespace

QString ReportFormat::printable(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (!actsOnTerminal(c.unicode()))
            out += c;
        else if (c.unicode() <= 0xFF)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return out;
}

std::optional<ReportFormat::Kind> ReportFormat::kind(const QString &name)
{
    if (name == QLatin1String("table"))
        return Kind::Table;
    if (name == QLatin1String("csv"))
        return Kind::Csv;
    if (name == QLatin1String("json"))
        return Kind::Json;
    return std::nullopt;
}

QByteArray ReportFormat::write(Kind kind, const QList<ReportDimension> &by, const QList<ReportRow> &rows)
{
    switch (kind) {
    case Kind::Table: return table(by, rows);
    case Kind::Csv: return csv(by, rows);
    case Kind::Json: break;
    }
    return json(by, rows);
}

QByteArray ReportFormat::table(const QList<ReportDimension> &by, const QList<ReportRow> &rows)
{
    QList<QStringList> cells {headings(by)};
    for (const ReportRow &row : rows) {
        QStringList line;
        for (const QVariant &key : row.keys)
            line.append(keyText(key));
        line << QString::number(row.views) << QString::number(row.clicks)
             << QString::number(row.clickThroughRate() * 100, 'f', 2) + QLatin1Char('%')
             << QString::number(row.reports);
        cells.append(line);
    }
    const qsizetype columns = cells.first().size();
    QList<qsizetype> widths(columns, 0);
    for (const QStringList &line : cells) {
        for (qsizetype i = 0; i < columns; ++i)
            widths[i] = std::max(widths[i], line[i].size());
    }
    // Dimensions to the left, figures to the right of their columns.
    QString out;
    for (const QStringList &line : cells) {
        QString text;
        for (qsizetype i = 0; i < columns; ++i) {
            if (i > 0)
                text += QStringLiteral("  ");
            text += i < by.size() ? line[i].leftJustified(widths[i]) : line[i].rightJustified(widths[i]);
        }
        while (text.endsWith(u' '))
            text.chop(1);
        out += text + QLatin1Char('\n');
    }
    return out.toUtf8();
}

QByteArray ReportFormat::csv(const QList<ReportDimension> &by, const QList<ReportRow> &rows)
{
    auto field = [](const QString &text) {
        if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') && !text.contains(u'\n'))
            return text;
        QString quoted = text;
        return QLatin1Char('"') + quoted.replace(QLatin1String("\""), QLatin1String("\"\"")) + QLatin1Char('"');
    };
    QString out = headings(by).join(u',') + QStringLiteral("\r\n");
    for (const ReportRow &row : rows) {
        QStringList line;
        for (const QVariant &key : row.keys)
            line.append(field(keyText(key)));
        line << QString::number(row.views) << QString::number(row.clicks) << fraction(row.clickThroughRate())
             << QString::number(row.reports);
        out += line.join(u',') + QStringLiteral("\r\n");
    }
    return out.toUtf8();
}

QByteArray ReportFormat::json(const QList<ReportDimension> &by, const QList<ReportRow> &rows)
{
    QByteArray out;
    for (const ReportRow &row : rows) {
        QJsonObject object;
        for (qsizetype i = 0; i < by.size(); ++i)
            object.insert(ReportQuery::name(by[i]), QJsonValue::fromVariant(row.keys.value(i)));
        object.insert(QStringLiteral("views"), row.views);
        object.insert(QStringLiteral("clicks"), row.clicks);
        object.insert(QStringLiteral("ctr"), row.clickThroughRate());
        object.insert(QStringLiteral("reports"), row.reports);
        // JSON escapes the C0 controls itself; the others are escaped here, which JSON reads back the same.
        const QString text = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
        QString safe;
        for (QChar c : text) {
            if (c.unicode() >= 0x20 && actsOnTerminal(c.unicode()))
                safe += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                safe += c;
        }
        out += safe.toUtf8() + '\n';
    }
    return out;
}

} // namespace orvane::adserver
