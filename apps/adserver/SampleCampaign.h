#pragma once

#include <QString>

namespace orvane::adserver {

// Writes a sample campaign into folder: a dozen ads over the four sizes and
// the three ratings, with images drawn here. Returns false with a reason.
bool writeSampleCampaign(const QString &folder, QString *error);

} // namespace orvane::adserver
