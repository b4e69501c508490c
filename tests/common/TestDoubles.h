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

// A double of Service, installed for its lifetime; the real service is back after.
template <typename Service>
class Installed : public Service
{
public:
    Installed() { Service::install(this); }
    ~Installed() override { Service::install(nullptr); }
};

class FakeClock : public Installed<orvane::platform::Clock>
{
public:
    explicit FakeClock(QDateTime local = QDateTime(QDate(1999, 10, 4), QTime(13, 45, 12)), int bias = 0)
        : local(std::move(local))
        , bias(bias)
    {
    }
    QDateTime localNow() const override
    {
        ++reads;
        return local;
    }
    int systemMilliseconds() const override { return milliseconds; }
    int biasMinutes() const override { return bias; }

    QDateTime local;
    int milliseconds = 87;
    int bias = 0;
    mutable int reads = 0; // of localNow
};

// Returns the scripted values in turn, then repeats the last one.
class ScriptedRandom : public Installed<orvane::platform::RandomSource>
{
public:
    explicit ScriptedRandom(QList<double> values = {0.0})
        : values(std::move(values))
    {
    }
    double next() override { return values.value(std::min<qsizetype>(position++, values.size() - 1)); }
    void reseedFromClock() override {}

    QList<double> values;
    int position = 0;
};

class RecordingMessageBoxes : public Installed<orvane::platform::MessageBoxes>
{
public:
    void show(const QString &text, const QString &caption) override { shown.append({text, caption}); }

    QList<QPair<QString, QString>> shown; // text, caption
};

class FakeModuleInfo : public Installed<orvane::platform::ModuleInfo>
{
public:
    explicit FakeModuleInfo(QString folder)
        : m_folder(std::move(folder))
    {
    }
    QString folder() const override { return m_folder; }
    QString name() const override { return QStringLiteral("Orvane"); }

private:
    QString m_folder;
};

class FakeScreen : public Installed<orvane::platform::Screen>
{
public:
    explicit FakeScreen(double twipsPerPixel = 15.0)
        : twips(twipsPerPixel)
    {
    }
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
    void SetExtent(int, int) override {}

    bool userMode = true;
    QStringList changed;
};
