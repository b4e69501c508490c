#pragma once

#include "DatabaseUrl.h"

namespace orvane::adserver {

class AdminServer;

// The operator's read-only dashboard under /dashboard/: a page with charts and
// tables, its report data as JSON and CSV, and the system's Chart.js. It reads
// the rollups on a connection of its own, opened at the first request.
void addDashboardRoutes(AdminServer &admin, const DatabaseUrl &url);

} // namespace orvane::adserver
