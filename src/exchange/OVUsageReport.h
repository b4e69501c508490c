#pragma once

#include "exchange/OVAdStat.h"
#include "support/OVCollection.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace orvane {

class OVUser;

// What the control tells the ad server at the start of an exchange: the
// product, the user's demographics and the usage of every ad, with its byte
// form (format tag 3).
class OVUsageReport
{
public:
    OVUsageReport();
    ~OVUsageReport();
    OVUsageReport(const OVUsageReport &) = delete;
    OVUsageReport &operator=(const OVUsageReport &) = delete;

    // Empties AdStats from the last entry to the first.
    void ClearUsageStats();
    std::shared_ptr<OVAdStat> AddUsageStat(
        const QString &AdGUID, int16_t ViewCount, int16_t ClickCount, double LastViewTime);

    // The live collection, in wire order; not keyed, so an id may occur twice.
    OVCollection<OVAdStat> &AdStats() { return m_adStats; }
    const OVCollection<OVAdStat> &AdStats() const { return m_adStats; }
    // Entry Index (1-based); none above the count. An Index below 1 throws
    // OVFault 9 to the caller.
    std::shared_ptr<OVAdStat> AdUsageStat(int16_t Index) const;

    // Shared with whoever set it; a fresh, empty OVUser after construction.
    std::shared_ptr<OVUser> User() const { return m_user; }
    void setUser(std::shared_ptr<OVUser> value) { m_user = std::move(value); }

    // Kept for the trace dump; not part of the byte form.
    int32_t RequestedRating() const { return m_requestedRating; }
    void setRequestedRating(int32_t value) { m_requestedRating = value; }

    QString ProductGUID() const { return m_productGUID; }
    void setProductGUID(const QString &value) { m_productGUID = value; }

    void DumpToTraceLog() const;

    // The byte form: L + 1 bytes whose length field says L, the last byte
    // 0x00. A byte that cannot be written stays 0x00 and is logged under
    // "OVUsageReport.GetStateIntoByteArray"; statistics that would not fit the
    // 32,001-byte buffer are left out with a warning (see StatsInLastState()).
    QByteArray GetStateIntoByteArray();
    // Rebuilds ProductGUID, the User fields and AdStats. A failure (such as
    // bytes that end early) is logged under "OVUsageReport.SetStateFromByteArray"
    // and ends the reading; what was set before stays set.
    void SetStateFromByteArray(const QByteArray &bytes);

    // How many entries of AdStats the last GetStateIntoByteArray wrote (the
    // first ones, in order): the counts that the server was told about.
    int StatsInLastState() const { return m_statsInLastState; }
    // How many entries of AdStats, from the first, the byte form written now
    // (with the current ProductGUID and User) would carry.
    int StatsThatFit() const;

private:
    int fittingStats(qsizetype statsOffset) const;

    OVCollection<OVAdStat> m_adStats;
    std::shared_ptr<OVUser> m_user;
    int32_t m_requestedRating = 0;
    QString m_productGUID;
    int m_statsInLastState = 0;
};

} // namespace orvane
