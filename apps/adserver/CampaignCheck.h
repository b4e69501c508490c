#pragma once

#include "Campaign.h"

#include <QDateTime>
#include <QStringList>

namespace orvane::adserver {

// What an operator should know about a campaign that loads: ads already past
// their expiry (never offered), images whose pixels differ from their ad's
// size, and fields the server does not know.
namespace CampaignCheck {

QStringList warnings(const Campaign &campaign, const QDateTime &now);

// `orvane-adserver check-campaign DIR`: the warnings and a summary on standard
// output, a refusal on standard error; 0 when the campaign loads, 1 when not.
int run(const QString &folder);

} // namespace CampaignCheck

} // namespace orvane::adserver
