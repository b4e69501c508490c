#pragma once

#include "Campaign.h"
#include "ReportStore.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <limits>
#include <optional>

namespace orvane::adserver {

// Turns a usage post's body into the report the store keeps, or refuses it.
// A report is accepted only when every value survives the trip into the
// database and back unchanged: a value the database would reject or alter
// (a NaN date stored as NULL, a NUL character in a text) must never reach a
// group commit, where it would fail the reports of other clients with it.
//
// Counts are checked, not taken on trust: a report's entries for one ad are
// summed, and a sum beyond what one control can hold between two transfers
// (its counts are 16-bit) refuses the whole report. Entries of ids the
// campaign does not list are kept apart and never counted.
class ReportDecoder
{
public:
    // OLE Automation dates from 1 January 100 to 31 December 9999.
    static constexpr double kMinOleDate = -657434.0;
    static constexpr double kMaxOleDate = 2958466.0;
    static constexpr int kMaxCountPerAd = std::numeric_limits<int16_t>::max();

    // The report, or nothing with a short reason in `why`.
    static std::optional<StoredReport> decode(const QByteArray &body, const Campaign &campaign, QString *why);

    // True when the text holds only characters every store keeps as they are.
    static bool isStorableText(const QString &text);
};

} // namespace orvane::adserver
