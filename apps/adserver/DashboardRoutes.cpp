#include "DashboardRoutes.h"

#include "AdminServer.h"
#include "ReportFormat.h"
#include "ReportQuery.h"
#include "ReportStore.h"

#include <QFile>

#include <memory>

#ifndef ORVANE_CHARTJS_FILE
#define ORVANE_CHARTJS_FILE "/usr/share/javascript/chart.js/chart.min.js"
#endif

namespace orvane::adserver {

namespace {

constexpr char kPrefix[] = "/dashboard/";
// Everything the page uses comes from this listener; nothing inline runs.
constexpr char kPolicy[] = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
                           "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

struct Asset
{
    const char *name;
    const char *file;
    const char *type;
};
const Asset kAssets[] = {
    {"", ":/dashboard/index.html", "text/html; charset=utf-8"},
    {"dashboard.js", ":/dashboard/dashboard.js", "text/javascript; charset=utf-8"},
    {"dashboard.css", ":/dashboard/dashboard.css", "text/css; charset=utf-8"},
    {"icon.svg", ":/dashboard/icon.svg", "image/svg+xml"},
    {"chart.js", ORVANE_CHARTJS_FILE, "text/javascript; charset=utf-8"},
};

AdminResponse plain(const QByteArray &status, const QString &text)
{
    AdminResponse response;
    response.status = status;
    response.body = text.toUtf8() + '\n';
    return response;
}

AdminResponse asset(const Asset &a)
{
    QFile file(QString::fromUtf8(a.file));
    if (!file.open(QIODevice::ReadOnly))
        return plain("404 Not Found", QStringLiteral("%1 is missing: %2").arg(file.fileName(), file.errorString()));
    AdminResponse response;
    response.contentType = a.type;
    response.body = file.readAll();
    return response;
}

// The request's range and grouping, or why it is not one.
std::optional<ReportRequest> reportRequest(const QUrlQuery &query, QString *error)
{
    ReportRequest request;
    for (const QString &name : query.queryItemValue(QStringLiteral("by")).split(u',', Qt::SkipEmptyParts)) {
        const auto d = ReportQuery::dimension(name);
        if (!d) {
            *error = QStringLiteral("by knows day, ad, product, advertiser, age, gender, country and rating");
            return std::nullopt;
        }
        request.by.append(*d);
    }
    for (auto [key, target] : {std::pair {"since", &request.since}, std::pair {"until", &request.until}}) {
        const QString text = query.queryItemValue(QString::fromLatin1(key));
        if (text.isEmpty())
            continue;
        *target = QDate::fromString(text, Qt::ISODate);
        if (!target->isValid() || text.size() != 10) {
            *error = QStringLiteral("%1 wants a day as YYYY-MM-DD").arg(QString::fromLatin1(key));
            return std::nullopt;
        }
    }
    *error = ReportQuery::check(request);
    return error->isEmpty() ? std::optional(request) : std::nullopt;
}

class Dashboard
{
public:
    explicit Dashboard(const DatabaseUrl &url)
        : m_url(url)
    {
    }

    AdminResponse report(const AdminRequest &request, ReportFormat::Kind kind)
    {
        QString error;
        const auto wanted = reportRequest(request.query, &error);
        if (!wanted)
            return plain("400 Bad Request", error);
        StoreOptions options;
        options.mayCreate = false;
        options.rollups = false; // reads only
        if (!m_store)
            m_store = ReportStore::open(m_url, &error, options);
        std::optional<QList<ReportRow>> rows;
        if (m_store)
            rows = ReportQuery(*m_store).run(*wanted, &error);
        if (!rows) {
            m_store.reset(); // opened again at the next request
            return plain("503 Service Unavailable", QStringLiteral("the database does not answer: ") + error);
        }
        AdminResponse response;
        response.body = ReportFormat::write(kind, wanted->by, *rows);
        if (kind == ReportFormat::Kind::Csv) {
            response.contentType = "text/csv; charset=utf-8; header=present";
            QStringList names;
            for (ReportDimension d : wanted->by)
                names.append(ReportQuery::name(d));
            response.headers.append(qMakePair(QByteArray("Content-Disposition"),
                "attachment; filename=\"report"
                    + (names.isEmpty() ? QByteArray() : "-by-" + names.join(u'-').toLatin1()) + ".csv\""));
        } else {
            response.contentType = "application/x-ndjson";
        }
        return response;
    }

private:
    const DatabaseUrl m_url;
    std::unique_ptr<ReportStore> m_store; // on the admin listener's thread
};

} // namespace

void addDashboardRoutes(AdminServer &admin, const DatabaseUrl &url)
{
    auto dashboard = std::make_shared<Dashboard>(url);
    admin.addRoute(kPrefix, [dashboard](const AdminRequest &request) {
        const QByteArray name = request.path.mid(qsizetype(sizeof kPrefix) - 1);
        AdminResponse response = plain("404 Not Found", QStringLiteral("Not found"));
        if (name == "report.json" || name == "report.csv") {
            response = dashboard->report(
                request, name.endsWith(".csv") ? ReportFormat::Kind::Csv : ReportFormat::Kind::Json);
        } else {
            for (const Asset &a : kAssets) {
                if (name == a.name)
                    response = asset(a);
            }
        }
        response.headers.append(qMakePair(QByteArray("Content-Security-Policy"), QByteArray(kPolicy)));
        response.headers.append(qMakePair(QByteArray("Referrer-Policy"), QByteArray("no-referrer")));
        return response;
    });
    // The listener's root leads to the dashboard; anything else there is unknown.
    admin.addRoute("/", [](const AdminRequest &request) {
        if (request.path != "/")
            return plain("404 Not Found", QStringLiteral("Not found"));
        AdminResponse response = plain("303 See Other", QStringLiteral("See /dashboard/"));
        response.headers.append(qMakePair(QByteArray("Location"), QByteArray(kPrefix)));
        return response;
    });
}

} // namespace orvane::adserver
