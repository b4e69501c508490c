#include "AdminRoutes.h"

#include "AdminServer.h"
#include "Metrics.h"
#include "WriterHealth.h"

namespace orvane::adserver {

void addHealthRoutes(AdminServer &admin)
{
    admin.addRoute("/healthz", [](const AdminRequest &) {
        AdminResponse response;
        const QString problem = WriterHealth::instance().problem();
        if (problem.isEmpty()) {
            response.body = "ok\n";
        } else {
            response.status = "503 Service Unavailable";
            response.body = problem.toUtf8() + '\n';
        }
        return response;
    });
    admin.addRoute("/metrics", [](const AdminRequest &) {
        AdminResponse response;
        response.contentType = "text/plain; version=0.0.4; charset=utf-8";
        response.body = Metrics::instance().render();
        return response;
    });
}

} // namespace orvane::adserver
