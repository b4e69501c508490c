#pragma once

#include <QStringList>

namespace orvane::adserver {

// `orvane-adserver report --db URL [--since DAY] [--until DAY] [--by DIMS]... [--format table|csv|json]`:
// the exit code; the report goes to standard output, complaints to standard error.
int runReportCommand(const QStringList &args);

} // namespace orvane::adserver
