#include "CampaignHolder.h"

#include "CampaignCheck.h"
#include "Metrics.h"
#include "ServerLog.h"

#include <QDateTime>

namespace orvane::adserver {

CampaignHolder::CampaignHolder(QString folder, std::shared_ptr<const Campaign> campaign)
    : m_folder(std::move(folder))
    , m_campaign(std::move(campaign))
{
    Metrics::instance().campaignAds.store(current()->ads().size(), std::memory_order_relaxed);
}

std::unique_ptr<CampaignHolder> CampaignHolder::load(const QString &folder, QString *error)
{
    std::optional<Campaign> campaign = Campaign::load(folder, error);
    if (!campaign)
        return nullptr;
    return std::unique_ptr<CampaignHolder>(
        new CampaignHolder(folder, std::make_shared<const Campaign>(std::move(*campaign))));
}

void CampaignHolder::replace(std::shared_ptr<const Campaign> campaign)
{
    const qsizetype ads = campaign->ads().size();
    m_campaign.store(std::move(campaign), std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    Metrics::instance().campaignAds.store(ads, std::memory_order_relaxed);
}

bool CampaignHolder::reload()
{
    QString error;
    std::optional<Campaign> campaign = Campaign::load(m_folder, &error);
    if (!campaign) {
        Metrics::instance().campaignReloadFailures.fetch_add(1, std::memory_order_relaxed);
        ServerLog::warning(QStringLiteral("campaign reload failed, still serving the %1 ads loaded before: %2")
                               .arg(current()->ads().size())
                               .arg(error));
        return false;
    }
    replace(std::make_shared<const Campaign>(std::move(*campaign)));
    Metrics::instance().campaignReloads.fetch_add(1, std::memory_order_relaxed);
    logLoaded(true);
    return true;
}

void CampaignHolder::logLoaded(bool reloaded) const
{
    const std::shared_ptr<const Campaign> campaign = current();
    ServerLog::event(QStringLiteral("campaign %1 %2: %3 ads")
                         .arg(campaign->folder(), reloaded ? QStringLiteral("reloaded") : QStringLiteral("loaded"))
                         .arg(campaign->ads().size()));
    for (const QString &warning : CampaignCheck::warnings(*campaign, QDateTime::currentDateTime()))
        ServerLog::warning(warning);
}

} // namespace orvane::adserver
