#pragma once

namespace orvane::adserver {

class AdminServer;

// The operator's standard routes: /healthz and /metrics.
void addHealthRoutes(AdminServer &admin);

} // namespace orvane::adserver
