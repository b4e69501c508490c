#pragma once

#include "platform/Installable.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace orvane::platform {

// A program as the desktop registers it: the executable and the arguments of
// its command line, which may hold desktop-entry field codes (%u, %f, ...)
// where the file or address goes.
struct ShellCommand
{
    QString program;
    QStringList arguments;
};

// The desktop's shell: which program opens HTML files, and starting a program
// without a shell in between.
class Shell : public Installable<Shell>
{
public:
    virtual ~Shell() = default;
    // The default handler of text/html, or none when the desktop registers none.
    virtual std::optional<ShellCommand> findHtmlHandler() = 0;
    // Starts the program detached, each argument passed as it stands.
    virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
    // Opens a checked address (see browserAddress) in the HTML handler, if
    // there is one. The real shell never makes the caller wait for the
    // look-up: it runs once per process on a worker thread, and addresses
    // asked for meanwhile are opened when it ends.
    virtual void openInBrowser(const QString &address);
    // Starts the look-up ahead of the first address, where it takes time.
    virtual void prepare() {}

    static Shell &real();
};

// The address to hand the browser for an ad's click-through address, or none
// when it must not be opened: http, https and ftp addresses as they are, a
// host name without a scheme ("www.example.com", "localhost:8080/x") as http;
// local paths, relative names, other schemes, a leading "-" and control
// characters are refused.
std::optional<QString> browserAddress(const QString &url);

// The argument list of a command for one file or address: %f, %F, %u and %U
// become the address as one argument, %% a percent sign, the other field
// codes go; without a file field code the address is appended.
QStringList argumentsFor(const ShellCommand &command, const QString &address);

// Splits a desktop entry's Exec value into program and arguments (quoting and
// escapes of the desktop entry format). None for an empty or malformed value.
std::optional<ShellCommand> parseExecLine(const QString &exec);

} // namespace orvane::platform
