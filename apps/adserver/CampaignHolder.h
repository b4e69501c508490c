#pragma once

#include "Campaign.h"

#include <QString>

#include <atomic>
#include <memory>

namespace orvane::adserver {

// The campaign being served, replaced as a whole when it is loaded again: the
// event loops take the new one at their next request, while a request in hand
// keeps the one it started with (a shared pointer each).
class CampaignHolder
{
public:
    // Loads the campaign of `folder`; nothing, with the reason, when it does not load.
    static std::unique_ptr<CampaignHolder> load(const QString &folder, QString *error);

    std::shared_ptr<const Campaign> current() const { return m_campaign.load(std::memory_order_acquire); }
    // Moves on at every replacement: a reader compares it to know when to take `current` again.
    quint64 generation() const { return m_generation.load(std::memory_order_acquire); }
    void replace(std::shared_ptr<const Campaign> campaign);

    // Loads the folder again and serves it; a campaign that does not load leaves
    // the one in service, and the log says why.
    bool reload();
    // The lifecycle line and the warnings of the campaign in service.
    void logLoaded(bool reloaded) const;

private:
    explicit CampaignHolder(QString folder, std::shared_ptr<const Campaign> campaign);

    const QString m_folder;
    std::atomic<std::shared_ptr<const Campaign>> m_campaign;
    std::atomic<quint64> m_generation {1};
};

} // namespace orvane::adserver
