#include "TestHome.h"

#include "platform/SettingsStore.h"
#include "support/OVSimpleLog.h"

#include <QDir>
#include <QFile>

namespace {
const char *const kVars[3] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"};
}

TestHome::TestHome()
{
    const QString dirs[3] = {configHome(), dataHome(), stateHome()};
    for (int i = 0; i < 3; ++i) {
        m_saved[i] = qgetenv(kVars[i]);
        QDir().mkpath(dirs[i]);
        qputenv(kVars[i], dirs[i].toLocal8Bit());
    }
    orvane::OVSimpleLog::resetForTesting();
}

TestHome::~TestHome()
{
    for (int i = 0; i < 3; ++i) {
        if (m_saved[i].isEmpty())
            qunsetenv(kVars[i]);
        else
            qputenv(kVars[i], m_saved[i]);
    }
    orvane::OVSimpleLog::resetForTesting();
}

QString TestHome::settingsFile() const
{
    return orvane::platform::SettingsStore::filePath();
}

void TestHome::writeSettingsFile(const QByteArray &ini) const
{
    QDir().mkpath(configHome() + QStringLiteral("/Quintrel"));
    QFile file(settingsFile());
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(ini);
}

QByteArray TestHome::readSettingsFile() const
{
    QFile file(settingsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
