#pragma once

#include "ReportQuery.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace orvane::adserver {

// Writes report rows for people and programs. Every text from a client (ids,
// gender, country) has its control and direction-changing characters written
// as escapes in the table and CSV forms, so that none reaches a terminal.
class ReportFormat
{
public:
    enum class Kind { Table, Csv, Json };

    static std::optional<Kind> kind(const QString &name);

    // Aligned columns with a heading line and the click-through rate in percent.
    static QByteArray table(const QList<ReportDimension> &by, const QList<ReportRow> &rows);
    // RFC 4180: a heading record, CRLF line ends, fields quoted when they must be.
    static QByteArray csv(const QList<ReportDimension> &by, const QList<ReportRow> &rows);
    // One JSON object per line.
    static QByteArray json(const QList<ReportDimension> &by, const QList<ReportRow> &rows);

    static QByteArray write(Kind kind, const QList<ReportDimension> &by, const QList<ReportRow> &rows);

    // The text with every character a terminal would act on written as \xNN or \uNNNN.
    static QString printable(const QString &text);
};

} // namespace orvane::adserver
