#include "factory/HostApplication.h"

#include <QApplication>

namespace orvane::HostApplication {

namespace {
// QApplication keeps references to its arguments for its whole life.
int s_argc = 1;
char s_name[] = "orvane";
char *s_argv[] = {s_name, nullptr};
// Reachable for the process's life: the host may run its loop after the last release.
QApplication *s_application = nullptr;
} // namespace

void ensure()
{
    if (QCoreApplication::instance())
        return;
    s_application = new QApplication(s_argc, s_argv);
    // The host's own windows decide when it ends, not the ad window.
    QApplication::setQuitOnLastWindowClosed(false);
}

} // namespace orvane::HostApplication
