#pragma once

#include "ReportStore.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace orvane::adserver {

// Turns a usage post's body into the report the store keeps, or refuses it.
// A report is accepted only when every value survives the trip into the
// database and back unchanged: a value the database would reject or alter
// (a NaN date stored as NULL, a NUL character in a text) must never reach a
// group commit, where it would fail the reports of other clients with it.
class ReportDecoder
{
public:
    // OLE Automation dates from 1 January 100 to 31 December 9999.
    static constexpr double kMinOleDate = -657434.0;
    static constexpr double kMaxOleDate = 2958466.0;

    // The report, or nothing with a short reason in `why`.
    static std::optional<StoredReport> decode(const QByteArray &body, QString *why);

    // True when the text holds only characters every store keeps as they are.
    static bool isStorableText(const QString &text);
};

} // namespace orvane::adserver
