#include "ReportCommand.h"

#include "DatabaseUrl.h"
#include "ReportFormat.h"
#include "ReportQuery.h"
#include "ReportStore.h"

#include <cstdio>

namespace orvane::adserver {

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

int complain(const QString &message, int code)
{
    std::fprintf(stderr, "orvane-adserver report: %s\n", qPrintable(ReportFormat::printable(message)));
    return code;
}

std::optional<QDate> day(const QString &text)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    return date.isValid() && text.size() == 10 ? std::optional<QDate>(date) : std::nullopt;
}

} // namespace

int runReportCommand(const QStringList &args)
{
    QString db;
    ReportRequest request;
    ReportFormat::Kind kind = ReportFormat::Kind::Table;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &flag = args[i];
        if (flag != QLatin1String("--db") && flag != QLatin1String("--since") && flag != QLatin1String("--until")
            && flag != QLatin1String("--by") && flag != QLatin1String("--format"))
            return complain(QStringLiteral("unknown argument ") + flag, kUsageError);
        if (i + 1 >= args.size())
            return complain(flag + QStringLiteral(" needs a value"), kUsageError);
        const QString value = args[++i];
        if (flag == QLatin1String("--db")) {
            db = value;
        } else if (flag == QLatin1String("--since") || flag == QLatin1String("--until")) {
            const std::optional<QDate> date = day(value);
            if (!date)
                return complain(flag + QStringLiteral(" wants a day as YYYY-MM-DD, not ") + value, kUsageError);
            (flag == QLatin1String("--since") ? request.since : request.until) = *date;
        } else if (flag == QLatin1String("--by")) {
            for (const QString &name : value.split(u',', Qt::SkipEmptyParts)) {
                const auto d = ReportQuery::dimension(name.trimmed());
                if (!d)
                    return complain(QStringLiteral("--by knows day, ad, product, advertiser, age, gender, "
                                                   "country and rating, not ")
                            + name,
                        kUsageError);
                request.by.append(*d);
            }
        } else {
            const auto k = ReportFormat::kind(value);
            if (!k)
                return complain(QStringLiteral("--format is table, csv or json, not ") + value, kUsageError);
            kind = *k;
        }
    }
    if (db.isEmpty())
        return complain(QStringLiteral("missing --db"), kUsageError);
    if (const QString why = ReportQuery::check(request); !why.isEmpty())
        return complain(why, kUsageError);
    QString error;
    const auto url = DatabaseUrl::parse(db, &error);
    if (!url)
        return complain(error, kUsageError);
    StoreOptions options;
    options.mayCreate = false;
    options.rollups = false; // reads only
    auto store = ReportStore::open(*url, &error, options);
    if (!store)
        return complain(error, kFailure);
    ReportQuery query(*store);
    const auto rows = query.run(request, &error);
    if (!rows)
        return complain(error, kFailure);
    const QByteArray out = ReportFormat::write(kind, request.by, *rows);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return std::fflush(stdout) == 0 ? 0 : kFailure;
}

} // namespace orvane::adserver
