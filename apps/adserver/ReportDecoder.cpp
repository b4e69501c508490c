#include "ReportDecoder.h"

#include "exchange/OVAdStat.h"
#include "exchange/OVUsageReport.h"
#include "personalization/OVUser.h"

#include <QHash>

#include <algorithm>
#include <cmath>

namespace orvane::adserver {

namespace {
// A null text would be bound as NULL, which the columns refuse.
QString notNull(QString text)
{
    return text.isNull() ? QStringLiteral("") : text;
}
} // namespace

bool ReportDecoder::isStorableText(const QString &text)
{
    // PostgreSQL refuses U+0000 in text and SQLite cuts a text there; the
    // single-byte code page yields no other character a store cannot keep.
    return !text.contains(QChar(u'\0'));
}

std::optional<StoredReport> ReportDecoder::decode(const QByteArray &body, const Campaign &campaign, QString *why)
{
    auto refuse = [why](const QString &reason) {
        *why = reason;
        return std::nullopt;
    };
    OVUsageReport report;
    report.SetStateFromByteArray(body);
    // A well-formed report writes back to exactly the bytes it came in.
    if (report.GetStateIntoByteArray() != body)
        return refuse(QStringLiteral("the report does not read back to its own bytes"));

    StoredReport stored;
    stored.productGuid = notNull(report.ProductGUID());
    stored.rating = report.User()->Rating();
    stored.ageRange = report.User()->AgeRange();
    stored.gender = notNull(report.User()->Gender());
    stored.postalCode = notNull(report.User()->PostalCode());
    stored.countryCode = notNull(report.User()->CountryCode());
    for (const QString *text : {&stored.productGuid, &stored.gender, &stored.postalCode, &stored.countryCode}) {
        if (!isStorableText(*text))
            return refuse(QStringLiteral("a text holds a NUL character"));
    }
    QHash<QString, qsizetype> countedAt; // upper-case id -> index in `counted`
    for (const auto &stat : report.AdStats()) {
        StoredReport::AdCounts counts {
            stat->AdIdGUIDString(), stat->ViewCount(), stat->ClickCount(), stat->LastViewTime()};
        if (!std::isfinite(counts.lastViewTime) || counts.lastViewTime < kMinOleDate
            || counts.lastViewTime >= kMaxOleDate)
            return refuse(QStringLiteral("a last view time is not a date"));
        if (counts.views < 0 || counts.clicks < 0)
            return refuse(QStringLiteral("a count is negative"));
        if (!isStorableText(counts.adGuid))
            return refuse(QStringLiteral("an ad id holds a NUL character"));
        if (!campaign.hasAd(counts.adGuid)) {
            stored.unknown.append(std::move(counts));
            continue;
        }
        const QString key = counts.adGuid.toUpper();
        const auto at = countedAt.constFind(key);
        if (at == countedAt.cend()) {
            countedAt.insert(key, stored.counted.size());
            stored.counted.append(std::move(counts));
            continue;
        }
        StoredReport::AdCounts &sum = stored.counted[*at];
        sum.views += counts.views;
        sum.clicks += counts.clicks;
        sum.lastViewTime = std::max(sum.lastViewTime, counts.lastViewTime);
        if (sum.views > kMaxCountPerAd || sum.clicks > kMaxCountPerAd)
            return refuse(QStringLiteral("the counts of ad %1 sum to more than one control can report").arg(key));
    }
    return stored;
}

} // namespace orvane::adserver
