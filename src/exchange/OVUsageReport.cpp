#include "exchange/OVUsageReport.h"

#include "exchange/OVByteReader.h"
#include "exchange/OVByteWriter.h"
#include "personalization/OVUser.h"
#include "support/Ansi.h"
#include "support/ErrorHandler.h"
#include "support/OVSimpleLog.h"
#include "support/OleDate.h"
#include "support/TrimSpaces.h"

#include <QLocale>

#include <algorithm>

namespace orvane {

namespace {
constexpr int kGUIDLength = 38;
// Id bytes and terminator aside, a statistic takes two counts of two bytes
// and a 16-byte date-time.
constexpr qsizetype kStatFixedBytes = 1 + 2 + 2 + 16;

// A trimmed code, or a single space for an empty one, so the field is never
// just its terminator.
QString codeOrSpace(const QString &code)
{
    const QString trimmed = trimSpaces(code);
    return trimmed.isEmpty() ? QStringLiteral(" ") : trimmed;
}

QString defaultDateTimeText(double oleDate)
{
    const QDateTime when = OleDate::toDateTime(oleDate);
    return when.isValid() ? QLocale::system().toString(when, QLocale::ShortFormat) : QString::number(oleDate);
}
} // namespace

OVUsageReport::OVUsageReport()
    : m_user(std::make_shared<OVUser>())
{
}

OVUsageReport::~OVUsageReport()
{
    m_adStats.Clear();
}

void OVUsageReport::ClearUsageStats()
{
    m_adStats.Clear();
}

std::shared_ptr<OVAdStat> OVUsageReport::AddUsageStat(
    const QString &AdGUID, int16_t ViewCount, int16_t ClickCount, double LastViewTime)
{
    auto stat = std::make_shared<OVAdStat>();
    stat->setAdIdGUIDString(AdGUID);
    stat->setViewCount(ViewCount);
    stat->setClickCount(ClickCount);
    stat->setLastViewTime(LastViewTime);
    m_adStats.Add(stat);
    return stat;
}

std::shared_ptr<OVAdStat> OVUsageReport::AdUsageStat(int16_t Index) const
{
    if (Index > m_adStats.Count())
        return {};
    return m_adStats.Item(Index);
}

void OVUsageReport::DumpToTraceLog() const
{
    guarded(QStringLiteral("OVUsageReport.DumpToTraceLog"), [&] {
        using OVSimpleLog::WriteTraceLine;
        if (!m_user)
            raiseFault(FaultObjectNotSet);
        WriteTraceLine(QStringLiteral("---"));
        WriteTraceLine(QStringLiteral("rating: ") + QString::number(m_requestedRating));
        WriteTraceLine(QStringLiteral("prodid: ") + m_productGUID);
        WriteTraceLine(QStringLiteral("age: ") + QString::number(m_user->AgeRange()));
        WriteTraceLine(QStringLiteral("country: ") + m_user->CountryCode());
        WriteTraceLine(QStringLiteral("gender: ") + m_user->Gender());
        WriteTraceLine(QStringLiteral("zip: ") + m_user->PostalCode());
        for (const auto &stat : m_adStats) {
            WriteTraceLine(QStringLiteral("adid: ") + stat->AdIdGUIDString());
            WriteTraceLine(QStringLiteral("clicks: ") + QString::number(stat->ClickCount()));
            WriteTraceLine(QStringLiteral("last view: ") + defaultDateTimeText(stat->LastViewTime()));
            WriteTraceLine(QStringLiteral("views: ") + QString::number(stat->ViewCount()));
        }
        WriteTraceLine(QStringLiteral("---"));
    });
}

QByteArray OVUsageReport::GetStateIntoByteArray()
{
    ErrorHandler handler(QStringLiteral("OVUsageReport.GetStateIntoByteArray"));
    OVByteWriter writer(handler);
    const std::shared_ptr<OVUser> user = m_user;
    auto theUser = [&user]() -> const OVUser & {
        if (!user)
            raiseFault(FaultObjectNotSet, QStringLiteral("The report has no user"));
        return *user;
    };

    writer.emitByte(3);
    writer.emitByte(0); // the length, once it is known
    writer.emitByte(0);

    for (int i = 0; i < kGUIDLength; ++i) {
        writer.emit([&] {
            if (i >= m_productGUID.size())
                raiseFault(
                    FaultInvalidCall, QStringLiteral("ProductGUID has only %1 characters").arg(m_productGUID.size()));
            return OVByteWriter::charByte(m_productGUID[i]);
        });
    }

    writer.emit([&] { return theUser().Rating(); });
    writer.emit([&] { return theUser().AgeRange(); });
    writer.emit([&] {
        const QString gender = theUser().Gender();
        return gender.isEmpty() ? int32_t(' ') : OVByteWriter::charByte(gender[0]);
    });

    QString postalCode;
    QString countryCode;
    handler.step([&] { postalCode = codeOrSpace(theUser().PostalCode()); });
    writer.emitText(postalCode);
    writer.emitTerminator();
    handler.step([&] { countryCode = codeOrSpace(theUser().CountryCode()); });
    writer.emitText(countryCode);
    writer.emitTerminator();

    // Only whole statistics go out: those that do not fit are left out, and
    // the count says how many follow.
    const int total = m_adStats.Count();
    const int fitting = fittingStats(writer.position());
    if (fitting < total) {
        handler.step([&] {
            OVSimpleLog::LogWarning(QStringLiteral("Usage report full: %1 of %2 usage statistics left out")
                                        .arg(total - fitting)
                                        .arg(total));
        });
    }
    m_statsInLastState = fitting;

    writer.emitBase255(fitting);
    for (int i = 1; i <= fitting; ++i) {
        const std::shared_ptr<OVAdStat> &stat = m_adStats.Item(i);
        writer.emitText(stat->AdIdGUIDString());
        writer.emitTerminator();
        writer.emitBase255(stat->ViewCount());
        writer.emitBase255(stat->ClickCount());
        writer.emitDate(stat->LastViewTime());
    }

    const qsizetype length = writer.position();
    writer.putAt(1, int32_t(length / 255));
    writer.putAt(2, int32_t(length % 255));
    return writer.finish();
}

int OVUsageReport::fittingStats(qsizetype statsOffset) const
{
    qsizetype room = OVByteWriter::kLastOffset - statsOffset - 2;
    int fitting = 0;
    for (const auto &stat : m_adStats) {
        const qsizetype size = stat->AdIdGUIDString().size() + kStatFixedBytes;
        if (size > room)
            break;
        room -= size;
        ++fitting;
    }
    return fitting;
}

int OVUsageReport::StatsThatFit() const
{
    // Tag, length, product, rating, age range and gender, then the two codes
    // with their terminators; the writer advances once per character.
    qsizetype offset = 3 + kGUIDLength + 3;
    if (m_user)
        offset += codeOrSpace(m_user->PostalCode()).size() + codeOrSpace(m_user->CountryCode()).size();
    offset = std::min(offset + 2, OVByteWriter::kLastOffset);
    return fittingStats(offset);
}

void OVUsageReport::SetStateFromByteArray(const QByteArray &bytes)
{
    guarded(QStringLiteral("OVUsageReport.SetStateFromByteArray"), [&] {
        OVByteReader reader(bytes);
        reader.byte(); // the tag and the length are read, not checked
        reader.byte();
        reader.byte();
        m_productGUID = reader.fixedText(kGUIDLength);

        if (!m_user)
            raiseFault(FaultObjectNotSet, QStringLiteral("The report has no user"));
        m_user->setRating(reader.byte());
        m_user->setAgeRange(reader.byte());
        m_user->setGender(QString(Ansi::toChar(reader.byte())));
        const QString postalCode = reader.text();
        reader.skip();
        m_user->setPostalCode(postalCode);
        const QString countryCode = reader.text();
        reader.skip();
        m_user->setCountryCode(countryCode);

        const int count = reader.base255();
        m_adStats.Clear();
        for (int i = 0; i < count; ++i) {
            auto stat = std::make_shared<OVAdStat>();
            stat->setAdIdGUIDString(reader.text());
            reader.skip();
            stat->setViewCount(reader.base255());
            stat->setClickCount(reader.base255());
            stat->setLastViewTime(reader.date());
            m_adStats.Add(stat);
        }
    });
}

} // namespace orvane
