#include "support/ErrorHandler.h"
#include "support/OVSimpleLog.h"

#include "TestDoubles.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace orvane;

class TestSimpleLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void lineFormatAndFileName_data();
    void lineFormatAndFileName();
    void oneFilePerProcess();
    void nothingWrittenWithSwitchesOff();
    void fallsBackToStateFolder();
    void errorAndWarningBoxes();
    void warningLineEndsWithMessage();
    void handlerGoesOnAfterAFault();
    void unwritableTraceFileReachesTheCaller();

private:
    QString readTrace() const;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<FakeClock> m_clock;
    std::unique_ptr<FakeModuleInfo> m_module;
    std::unique_ptr<RecordingMessageBoxes> m_boxes;
};

void TestSimpleLog::init()
{
    m_home = std::make_unique<TestHome>();
    m_clock = std::make_unique<FakeClock>(QDateTime(QDate(1999, 10, 4), QTime(13, 45, 12)));
    QDir().mkpath(m_home->path() + QStringLiteral("/module"));
    m_module = std::make_unique<FakeModuleInfo>(m_home->path() + QStringLiteral("/module"));
    m_boxes = std::make_unique<RecordingMessageBoxes>();
}

void TestSimpleLog::cleanup()
{
    m_boxes.reset();
    m_module.reset();
    m_clock.reset();
    m_home.reset();
}

QString TestSimpleLog::readTrace() const
{
    QFile file(OVSimpleLog::TraceFileName());
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

void TestSimpleLog::lineFormatAndFileName_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<QString>("stamp");
    QTest::newRow("7 ms") << 7 << "1999-10-04 13:45:12:007";
    QTest::newRow("87 ms") << 87 << "1999-10-04 13:45:12:087";
    QTest::newRow("999 ms") << 999 << "1999-10-04 13:45:12:999";
    QTest::newRow("0 ms") << 0 << "1999-10-04 13:45:12:000";
}

void TestSimpleLog::lineFormatAndFileName()
{
    QFETCH(int, ms);
    QFETCH(QString, stamp);
    m_clock->milliseconds = ms;
    OVSimpleLog::WriteTraceLine(QStringLiteral("Hello \u00e9"));
    QCOMPARE(OVSimpleLog::TraceFileName(), m_home->path() + QStringLiteral("/module/1999-10-04-13-45-12_OVTrace.log"));
    QFile file(OVSimpleLog::TraceFileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), stamp.toLatin1() + QByteArray(" Orvane Hello \xe9\r\n"));
}

void TestSimpleLog::oneFilePerProcess()
{
    OVSimpleLog::WriteTraceLine(QStringLiteral("first"));
    const QString name = OVSimpleLog::TraceFileName();
    m_clock->local = m_clock->local.addSecs(3600);
    OVSimpleLog::WriteTraceLine(QStringLiteral("second"));
    QCOMPARE(OVSimpleLog::TraceFileName(), name);
    QCOMPARE(readTrace().count(QStringLiteral("\r\n")), 2);
    QVERIFY(readTrace().contains(QStringLiteral("1999-10-04 14:45:12:087 Orvane second\r\n")));
}

void TestSimpleLog::nothingWrittenWithSwitchesOff()
{
    OVSimpleLog::LogError(QStringLiteral("X.Y"), OVFault(FaultOverflow));
    OVSimpleLog::LogWarning(QStringLiteral("Control disabled"));
    QVERIFY(OVSimpleLog::TraceFileName().isEmpty());
    QVERIFY(QDir(m_home->path() + QStringLiteral("/module")).isEmpty());
    QVERIFY(m_boxes->shown.isEmpty());
}

void TestSimpleLog::fallsBackToStateFolder()
{
    FakeModuleInfo missing(m_home->path() + QStringLiteral("/no/such/folder"));
    OVSimpleLog::WriteTraceLine(QStringLiteral("x"));
    QCOMPARE(
        OVSimpleLog::TraceFileName(), m_home->stateHome() + QStringLiteral("/Orvane/1999-10-04-13-45-12_OVTrace.log"));
    QVERIFY(QFile::exists(OVSimpleLog::TraceFileName()));
}

void TestSimpleLog::errorAndWarningBoxes()
{
    OVSimpleLog::switches().VerboseErrors = true;
    OVSimpleLog::switches().VerboseWarnings = true;
    OVSimpleLog::LogError(QStringLiteral("OVUsageReport.GetStateIntoByteArray"), OVFault(FaultIndexOutOfRange));
    OVSimpleLog::LogWarning(QStringLiteral("Control disabled"));
    QCOMPARE(m_boxes->shown.size(), 2);
    QCOMPARE(
        m_boxes->shown[0].first, QStringLiteral("OVUsageReport.GetStateIntoByteArray\r\n9 Subscript out of range"));
    QCOMPARE(m_boxes->shown[0].second, QString());
    QCOMPARE(m_boxes->shown[1].first, QStringLiteral("Control disabled"));
    QCOMPARE(m_boxes->shown[1].second, QStringLiteral("Warning"));
    QVERIFY(OVSimpleLog::TraceFileName().isEmpty());
}

void TestSimpleLog::warningLineEndsWithMessage()
{
    OVSimpleLog::switches().LogWarningsToFile = true;
    OVSimpleLog::switches().LogErrorsToFile = true;
    OVSimpleLog::LogWarning(QStringLiteral("Control disabled"));
    OVSimpleLog::LogError(QStringLiteral("A.B"), OVFault(457));
    const QStringList lines = readTrace().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].endsWith(QStringLiteral(" Control disabled")));
    QVERIFY(lines[1].endsWith(
        QStringLiteral(" Orvane A.B 457 This key is already associated with an element of this collection")));
    QVERIFY(m_boxes->shown.isEmpty());
}

void TestSimpleLog::handlerGoesOnAfterAFault()
{
    OVSimpleLog::switches().LogErrorsToFile = true;
    ErrorHandler handler(QStringLiteral("Test.Steps"));
    QList<int> ran;
    handler.step([&] { ran << 1; });
    handler.step([&] { raiseFault(FaultOverflow); });
    handler.step([&] { throw std::runtime_error("boom"); });
    handler.step([&] { ran << 4; });
    QCOMPARE(ran, QList<int>({1, 4}));
    QCOMPARE(handler.failures(), 2);
    QCOMPARE(handler.lastNumber(), int(FaultInternal));
    const QString trace = readTrace();
    QVERIFY(trace.contains(QStringLiteral("Test.Steps 6 Overflow\r\n")));
    QVERIFY(trace.contains(QStringLiteral("Test.Steps 51 boom\r\n")));
}

void TestSimpleLog::unwritableTraceFileReachesTheCaller()
{
    // The trace file name is taken by a folder: the write fails.
    QDir().mkpath(m_home->path() + QStringLiteral("/module/1999-10-04-13-45-12_OVTrace.log"));
    OVSimpleLog::switches().LogWarningsToFile = true;
    QVERIFY_THROWS_EXCEPTION(OVFault, OVSimpleLog::LogWarning(QStringLiteral("x")));
    // A handler's own report never throws.
    OVSimpleLog::switches().LogErrorsToFile = true;
    OVSimpleLog::LogError(QStringLiteral("A.B"), OVFault(6));
    QVERIFY(guarded(QStringLiteral("A.C"), [] { raiseFault(6); }) == false);
}

QTEST_GUILESS_MAIN(TestSimpleLog)
#include "test_simplelog.moc"
