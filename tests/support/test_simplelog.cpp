#include "support/ErrorHandler.h"
#include "support/OVSimpleLog.h"

#include "TestData.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <optional>

using namespace orvane;

class TestSimpleLog : public QObject
{
    Q_OBJECT
    struct Fixture
    {
        TestHome home;
        FakeClock clock {QDateTime(QDate(1999, 10, 4), QTime(13, 45, 12))};
        FakeModuleInfo module {home.path() + QStringLiteral("/module")};
        RecordingMessageBoxes boxes;
    };
    std::optional<Fixture> m_f;

    QString module() const { return m_f->home.path() + QStringLiteral("/module"); }
    static QString readTrace() { return QString::fromLatin1(testdata::readFile(OVSimpleLog::TraceFileName())); }

private Q_SLOTS:
    void init()
    {
        m_f.emplace();
        QDir().mkpath(module());
    }
    void cleanup() { m_f.reset(); }

    // One trace file per process, named by its first line's time; every line
    // stamped to the millisecond, in the ANSI code page.
    void lineFormatAndOneFilePerProcess()
    {
        m_f->clock.milliseconds = 7;
        OVSimpleLog::WriteTraceLine(QStringLiteral("Hello \u00e9"));
        m_f->clock.local = m_f->clock.local.addSecs(3600);
        m_f->clock.milliseconds = 999;
        OVSimpleLog::WriteTraceLine(QStringLiteral("second"));
        QCOMPARE(OVSimpleLog::TraceFileName(), module() + QStringLiteral("/1999-10-04-13-45-12_OVTrace.log"));
        QCOMPARE(readTrace().toLatin1(),
            QByteArray("1999-10-04 13:45:12:007 Orvane Hello \xe9\r\n1999-10-04 14:45:12:999 Orvane second\r\n"));
    }

    void fallsBackToStateFolder()
    {
        FakeModuleInfo missing(m_f->home.path() + QStringLiteral("/no/such/folder"));
        OVSimpleLog::WriteTraceLine(QStringLiteral("x"));
        QCOMPARE(OVSimpleLog::TraceFileName(),
            m_f->home.stateHome() + QStringLiteral("/Orvane/1999-10-04-13-45-12_OVTrace.log"));
        QVERIFY(QFile::exists(OVSimpleLog::TraceFileName()));
    }

    // Errors and warnings go to boxes, to the trace file, or nowhere.
    void switches_data()
    {
        QTest::addColumn<bool>("verbose");
        QTest::addColumn<bool>("toFile");
        QTest::newRow("off") << false << false;
        QTest::newRow("boxes") << true << false;
        QTest::newRow("file") << false << true;
    }
    void switches()
    {
        QFETCH(bool, verbose);
        QFETCH(bool, toFile);
        OVSimpleLog::switches().VerboseErrors = OVSimpleLog::switches().VerboseWarnings = verbose;
        OVSimpleLog::switches().LogErrorsToFile = OVSimpleLog::switches().LogWarningsToFile = toFile;
        OVSimpleLog::LogWarning(QStringLiteral("Control disabled"));
        OVSimpleLog::LogError(QStringLiteral("A.B"), OVFault(457));
        const QString dup = QStringLiteral("457 This key is already associated with an element of this collection");
        QList<QPair<QString, QString>> boxes;
        if (verbose)
            boxes = {{"Control disabled", "Warning"}, {"A.B\r\n" + dup, QString()}};
        QCOMPARE(m_f->boxes.shown, boxes);
        const QString stamp = QStringLiteral("1999-10-04 13:45:12:087 Orvane ");
        QCOMPARE(readTrace(), toFile ? stamp + "Control disabled\r\n" + stamp + "A.B " + dup + "\r\n" : QString());
        QCOMPARE(QDir(module()).isEmpty(), !toFile);
    }

    void handlerGoesOnAfterAFault()
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

    void unwritableTraceFileReachesTheCaller()
    {
        // The trace file name is taken by a folder: the write fails.
        QDir().mkpath(module() + QStringLiteral("/1999-10-04-13-45-12_OVTrace.log"));
        OVSimpleLog::switches().LogWarningsToFile = true;
        QVERIFY_THROWS_EXCEPTION(OVFault, OVSimpleLog::LogWarning(QStringLiteral("x")));
        // A handler's own report never throws.
        OVSimpleLog::switches().LogErrorsToFile = true;
        OVSimpleLog::LogError(QStringLiteral("A.B"), OVFault(6));
        QVERIFY(guarded(QStringLiteral("A.C"), [] { raiseFault(6); }) == false);
    }
};

QTEST_GUILESS_MAIN(TestSimpleLog)
#include "test_simplelog.moc"
