#include "platform/Shell.h"

#include "TestHome.h"

#include <QDir>
#include <QElapsedTimer>
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
    void browserAddresses_data();
    void browserAddresses();
    void startsTheRegisteredHandler();
};

void TestShell::execLines_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QStringList>("command"); // program, then arguments
    QTest::newRow("plain") << "firefox %u" << QStringList {"firefox", "%u"};
    QTest::newRow("quoted") << "\"/opt/my browser/run\" --new-window %U"
                            << QStringList {"/opt/my browser/run", "--new-window", "%U"};
    QTest::newRow("escaped quote") << "sh -c \"echo \\\"hi\\\"\"" << QStringList {"sh", "-c", "echo \"hi\""};
}

void TestShell::execLines()
{
    QFETCH(QString, exec);
    QFETCH(QStringList, command);
    const auto parsed = parseExecLine(exec);
    QVERIFY(parsed);
    QCOMPARE(QStringList {parsed->program} + parsed->arguments, command);
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

void TestShell::browserAddresses_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("opened"); // empty: refused
    QTest::newRow("https") << "https://example.com/a?b=1&c=2"
                           << "https://example.com/a?b=1&c=2";
    QTest::newRow("HTTP in capitals") << "HTTP://example.com"
                                      << "HTTP://example.com";
    QTest::newRow("ftp") << "ftp://files.example.com/x"
                         << "ftp://files.example.com/x";
    QTest::newRow("host without scheme") << "www.example.com"
                                         << "http://www.example.com";
    QTest::newRow("host and port") << "localhost:8080/x"
                                   << "http://localhost:8080/x";
    QTest::newRow("IP address") << "192.0.2.7/ad"
                                << "http://192.0.2.7/ad";
    QTest::newRow("absolute path") << "/etc/passwd"
                                   << "";
    QTest::newRow("relative name") << "passwd"
                                   << "";
    QTest::newRow("relative path") << "../secret.html"
                                   << "";
    QTest::newRow("home path") << "~/x.html"
                               << "";
    QTest::newRow("file scheme") << "file:///etc/passwd"
                                 << "";
    QTest::newRow("javascript") << "javascript:alert(1)"
                                << "";
    QTest::newRow("option") << "-remote-debugging"
                            << "";
    QTest::newRow("control character") << "http://e.com/\nx"
                                       << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestShell::browserAddresses()
{
    QFETCH(QString, url);
    QFETCH(QString, opened);
    QCOMPARE(browserAddress(url).value_or(QString()), opened);
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
    QElapsedTimer clock;
    clock.start();
    Shell::instance().openInBrowser(address);
    QVERIFY(clock.elapsed() < 1000); // the look-up runs beside the caller
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out) && QFile(out).size() > 0, 10000);
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()), address + u'\n');
    QVERIFY(!QFile::exists(QStringLiteral("pwned")));
}

QTEST_GUILESS_MAIN(TestShell)
#include "test_shell.moc"
