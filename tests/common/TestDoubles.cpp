#include "TestDoubles.h"

using namespace orvane::platform;

FakeClock::FakeClock(QDateTime l, int b)
    : local(std::move(l))
    , bias(b)
{
    Clock::install(this);
}
FakeClock::~FakeClock()
{
    Clock::install(nullptr);
}

ScriptedRandom::ScriptedRandom(QList<double> v)
    : values(std::move(v))
{
    RandomSource::install(this);
}
ScriptedRandom::~ScriptedRandom()
{
    RandomSource::install(nullptr);
}
double ScriptedRandom::next()
{
    if (values.isEmpty())
        return 0.0;
    const double v = values[std::min<qsizetype>(position, values.size() - 1)];
    ++position;
    return v;
}

RecordingMessageBoxes::RecordingMessageBoxes()
{
    MessageBoxes::install(this);
}
RecordingMessageBoxes::~RecordingMessageBoxes()
{
    MessageBoxes::install(nullptr);
}

FakeModuleInfo::FakeModuleInfo(QString folder)
    : m_folder(std::move(folder))
{
    ModuleInfo::install(this);
}
FakeModuleInfo::~FakeModuleInfo()
{
    ModuleInfo::install(nullptr);
}

FakeScreen::FakeScreen(double t)
    : twips(t)
{
    Screen::install(this);
}
FakeScreen::~FakeScreen()
{
    Screen::install(nullptr);
}
