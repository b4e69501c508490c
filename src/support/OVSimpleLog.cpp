#include "support/OVSimpleLog.h"

#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/ModuleInfo.h"
#include "support/Ansi.h"
#include "support/OVRegistryHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace orvane::OVSimpleLog {

namespace {
QString g_traceFileName;

bool writableFolder(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const QFileInfo info(folder);
    return info.isDir() && info.isWritable();
}

QString stateFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Orvane");
}
} // namespace

Switches &switches()
{
    static Switches s;
    return s;
}

void LoadSwitches()
{
    using namespace OVRegistryHelpers;
    auto read = [](const QString &name) {
        return toBoolean(ReadSettingsValueOrDefault(HKEY_CURRENT_USER, kDebugKey, name, QVariant(false)));
    };
    Switches &s = switches();
    s.LogErrorsToFile = read(QStringLiteral("LogErrorsToFile"));
    s.VerboseErrors = read(QStringLiteral("VerboseErrors"));
    s.LogWarningsToFile = read(QStringLiteral("LogWarningsToFile"));
    s.VerboseWarnings = read(QStringLiteral("VerboseWarnings"));
}

QString TraceFolder()
{
    const QString module = platform::ModuleInfo::instance().folder();
    if (writableFolder(module))
        return module;
    return stateFolder();
}

QString TraceFileName()
{
    return g_traceFileName;
}

void WriteTraceLine(const QString &message)
{
    const platform::Clock &clock = platform::Clock::instance();
    const int ms = clock.systemMilliseconds();
    const QDateTime now = clock.localNow();

    if (g_traceFileName.isEmpty()) {
        const QString folder = TraceFolder();
        QDir().mkpath(folder);
        g_traceFileName
            = folder + u'/' + now.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss")) + QStringLiteral("_OVTrace.log");
    }

    const QString line = now.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss:"))
        + QStringLiteral("%1").arg(ms, 3, 10, QLatin1Char('0')) + u' ' + platform::ModuleInfo::instance().name() + u' '
        + message + QStringLiteral("\r\n");

    QFile file(g_traceFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        raiseFault(FaultPathFileAccess);
    const QByteArray bytes = Ansi::encode(line);
    if (file.write(bytes) != bytes.size())
        raiseFault(FaultDeviceIO);
}

void LogError(const QString &source, const OVFault &fault) noexcept
{
    try {
        const Switches &s = switches();
        if (!s.LogErrorsToFile && !s.VerboseErrors)
            return;
        const QString numberAndText = QString::number(fault.number()) + u' ' + fault.description();
        if (s.LogErrorsToFile)
            WriteTraceLine(source + u' ' + numberAndText);
        if (s.VerboseErrors)
            platform::MessageBoxes::instance().show(source + QStringLiteral("\r\n") + numberAndText, QString());
    } catch (...) {
        // A handler has nowhere left to report to.
    }
}

void LogWarning(const QString &message)
{
    const Switches &s = switches();
    if (s.LogWarningsToFile)
        WriteTraceLine(message);
    if (s.VerboseWarnings)
        platform::MessageBoxes::instance().show(message, QStringLiteral("Warning"));
}

void resetForTesting()
{
    g_traceFileName.clear();
    switches() = Switches {};
}

} // namespace orvane::OVSimpleLog

namespace orvane::detail {
void reportFault(const QString &source, const OVFault &fault) noexcept
{
    OVSimpleLog::LogError(source, fault);
}
} // namespace orvane::detail
