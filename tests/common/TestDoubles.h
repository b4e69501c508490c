#pragma once

#include <orvane/Container.h>

#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "platform/ModuleInfo.h"
#include "platform/RandomSource.h"
#include "platform/Screen.h"

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Each double installs itself for its lifetime and restores the real service after.

class FakeClock : public orvane::platform::Clock
{
public:
    explicit FakeClock(QDateTime local = QDateTime(QDate(1999, 10, 4), QTime(13, 45, 12)), int bias = 0);
    ~FakeClock() override;
    QDateTime localNow() const override { return local; }
    int systemMilliseconds() const override { return milliseconds; }
    int biasMinutes() const override { return bias; }

    QDateTime local;
    int milliseconds = 87;
    int bias = 0;
};

// Returns the scripted values in turn, then repeats the last one.
class ScriptedRandom : public orvane::platform::RandomSource
{
public:
    explicit ScriptedRandom(QList<double> values = {0.0});
    ~ScriptedRandom() override;
    double next() override;
    void reseedFromClock() override { ++reseeds; }

    QList<double> values;
    int position = 0;
    int reseeds = 0;
};

class RecordingMessageBoxes : public orvane::platform::MessageBoxes
{
public:
    RecordingMessageBoxes();
    ~RecordingMessageBoxes() override;
    void show(const QString &text, const QString &caption) override { shown.append({text, caption}); }

    QList<QPair<QString, QString>> shown; // text, caption
};

class FakeModuleInfo : public orvane::platform::ModuleInfo
{
public:
    explicit FakeModuleInfo(QString folder);
    ~FakeModuleInfo() override;
    QString folder() const override { return m_folder; }
    QString name() const override { return QStringLiteral("Orvane"); }

private:
    QString m_folder;
};

class FakeScreen : public orvane::platform::Screen
{
public:
    explicit FakeScreen(double twipsPerPixel = 15.0);
    ~FakeScreen() override;
    double twipsPerPixelX() const override { return twips; }
    double twipsPerPixelY() const override { return twips; }
    double twips;
};

// A container that records what the control asks of it.
class RecordingContainer : public orvane::Container
{
public:
    bool UserMode() const override { return userMode; }
    void PropertyChanged(const QString &name) override { changed.append(name); }
    void SetExtent(int w, int h) override { extents.append({w, h}); }

    bool userMode = true;
    QStringList changed;
    QList<QPair<int, int>> extents;
};
