#include "platform/Shell.h"

#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace orvane::platform;

class TestShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void execLines_data();
    void execLines();
    void fieldCodes();
    void startsTheRegisteredHandler();
};

void TestShell::execLines_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("plain") << "firefox %u"
                           << "firefox" << QStringList {"%u"};
    QTest::newRow("quoted") << "\"/opt/my browser/run\" --new-window %U"
                            << "/opt/my browser/run" << QStringList {"--new-window", "%U"};
    QTest::newRow("escaped quote") << "sh -c \"echo \\\"hi\\\"\""
                                   << "sh" << QStringList {"-c", "echo \"hi\""};
}

void TestShell::execLines()
{
    QFETCH(QString, exec);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const auto command = parseExecLine(exec);
    QVERIFY(command);
    QCOMPARE(command->program, program);
    QCOMPARE(command->arguments, arguments);
    QVERIFY(!parseExecLine(QString()));
    QVERIFY(!parseExecLine(QStringLiteral("\"unterminated")));
}

void TestShell::fieldCodes()
{
    const QString address = QStringLiteral("https://example.com/a b?x=1&y=%20");
    QCOMPARE(argumentsFor({QStringLiteral("b"), {QStringLiteral("%u"), QStringLiteral("%i")}}, address),
        QStringList {address});
    QCOMPARE(argumentsFor({QStringLiteral("b"), {QStringLiteral("--x")}}, address),
        QStringList({QStringLiteral("--x"), address}));
    QCOMPARE(argumentsFor({QStringLiteral("b"), {QStringLiteral("100%%")}}, address),
        QStringList({QStringLiteral("100%"), address}));
}

void TestShell::startsTheRegisteredHandler()
{
    TestHome home;
    // A fake browser registered for HTML files that writes its arguments to a file.
    const QString out = home.path() + QStringLiteral("/args.txt");
    const QString script = home.path() + QStringLiteral("/fake-browser");
    {
        QFile f(script);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + out.toLocal8Bit() + "\"\n");
    }
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(home.dataHome() + QStringLiteral("/applications"));
    {
        QFile f(home.dataHome() + QStringLiteral("/applications/fake-browser.desktop"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Desktop Entry]\nType=Application\nName=Fake\nExec=" + script.toLocal8Bit()
            + " %u\nMimeType=text/html;\n");
    }
    {
        QFile f(home.configHome() + QStringLiteral("/mimeapps.list"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Default Applications]\ntext/html=fake-browser.desktop\n");
    }
    qputenv("XDG_DATA_DIRS", home.dataHome().toLocal8Bit());
    const auto handler = Shell::instance().findHtmlHandler();
    QVERIFY(handler);
    QCOMPARE(handler->program, script);
    const QString address = QStringLiteral("https://example.com/ad?id=1&x=$(touch pwned)");
    QVERIFY(Shell::instance().startDetached(handler->program, argumentsFor(*handler, address)));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out) && QFile(out).size() > 0, 10000);
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()), address + u'\n');
    QVERIFY(!QFile::exists(QStringLiteral("pwned")));
}

QTEST_GUILESS_MAIN(TestShell)
#include "test_shell.moc"
