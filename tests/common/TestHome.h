#pragma once

#include "platform/SettingsStore.h"
#include "support/OVSimpleLog.h"

#include "TestData.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// A fresh home for one test: XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_STATE_HOME
// point into a temporary folder for the object's lifetime, so the real
// settings store and state folder are used without touching the user's.
class TestHome
{
public:
    TestHome()
    {
        for (int i = 0; i < 3; ++i) {
            m_saved[i] = qgetenv(kVars[i]);
            QDir().mkpath(m_dir.filePath(kFolders[i]));
            qputenv(kVars[i], m_dir.filePath(kFolders[i]).toLocal8Bit());
        }
        orvane::OVSimpleLog::resetForTesting();
    }
    ~TestHome()
    {
        for (int i = 0; i < 3; ++i) {
            if (m_saved[i].isEmpty())
                qunsetenv(kVars[i]);
            else
                qputenv(kVars[i], m_saved[i]);
        }
        orvane::OVSimpleLog::resetForTesting();
    }

    QString path() const { return m_dir.path(); }
    QString configHome() const { return m_dir.filePath(kFolders[0]); }
    QString dataHome() const { return m_dir.filePath(kFolders[1]); }
    QString stateHome() const { return m_dir.filePath(kFolders[2]); }
    QString settingsFile() const { return orvane::platform::SettingsStore::filePath(); }
    // Writes raw INI text into the settings file (for values of other types).
    void writeSettingsFile(const QByteArray &ini) const
    {
        QDir().mkpath(configHome() + QStringLiteral("/Quintrel"));
        testdata::writeFile(settingsFile(), ini);
    }
    QByteArray readSettingsFile() const { return testdata::readFile(settingsFile()); }

private:
    static constexpr const char *kVars[3] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"};
    static constexpr const char *kFolders[3] = {"config", "data", "state"};
    QTemporaryDir m_dir;
    QByteArray m_saved[3];
};
