#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh home for one test: XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_STATE_HOME
// point into a temporary folder for the object's lifetime, so the real
// settings store and state folder are used without touching the user's.
class TestHome
{
public:
    TestHome();
    ~TestHome();

    QString path() const { return m_dir.path(); }
    QString configHome() const { return m_dir.path() + QStringLiteral("/config"); }
    QString dataHome() const { return m_dir.path() + QStringLiteral("/data"); }
    QString stateHome() const { return m_dir.path() + QStringLiteral("/state"); }
    QString settingsFile() const;
    // Writes raw INI text into the settings file (for values of other types).
    void writeSettingsFile(const QByteArray &ini) const;
    QByteArray readSettingsFile() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_saved[3];
};
