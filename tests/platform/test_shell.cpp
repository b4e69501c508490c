#include "platform/Shell.h"

#include "TestData.h"
#include "TestHome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using namespace orvane::platform;
using testdata::writeFile;

class TestShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commandLines_data()
    {
        QTest::addColumn<QString>("exec");
        QTest::addColumn<QStringList>("command"); // program, then arguments; empty: refused
        const QString a = QStringLiteral("https://example.com/a b?x=1&y=%20");
        QTest::newRow("plain") << "firefox %u" << QStringList {"firefox", a};
        QTest::newRow("quoted, %U") << "\"/opt/my browser/run\" --new-window %U"
                                    << QStringList {"/opt/my browser/run", "--new-window", a};
        QTest::newRow("escaped quote, address appended")
            << "sh -c \"echo \\\"hi\\\"\"" << QStringList {"sh", "-c", "echo \"hi\"", a};
        QTest::newRow("%i dropped") << "b %u %i" << QStringList {"b", a};
        QTest::newRow("%% inside an argument") << "b 100%%" << QStringList {"b", "100%", a};
        QTest::newRow("empty") << "" << QStringList();
        QTest::newRow("unterminated quote") << "\"unterminated" << QStringList();
    }

    void commandLines()
    {
        QFETCH(QString, exec);
        QFETCH(QStringList, command);
        const auto parsed = parseExecLine(exec);
        QCOMPARE(bool(parsed), !command.isEmpty());
        if (parsed)
            QCOMPARE(QStringList {parsed->program} + argumentsFor(*parsed, command.last()), command);
    }

    void browserAddresses_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("opened"); // empty: refused
        const auto row
            = [](const char *url, const char *opened) { QTest::addRow("%s", url) << QString(url) << QString(opened); };
        row("HTTP://example.com", "HTTP://example.com");
        row("ftp://files.example.com/x", "ftp://files.example.com/x");
        row("localhost:8080/x", "http://localhost:8080/x");
        row("192.0.2.7/ad", "http://192.0.2.7/ad");
        for (const char *url : {"/etc/passwd", "passwd", "../secret.html", "~/x.html", "javascript:alert(1)",
                 "-remote-debugging", "http://e.com/\nx", ""})
            row(url, "");
    }

    void browserAddresses()
    {
        QFETCH(QString, url);
        QTEST(browserAddress(url).value_or(QString()), "opened");
    }

    void startsTheRegisteredHandler()
    {
        TestHome home;
        // A fake browser registered for HTML files that writes its arguments to a file.
        const QString out = home.path() + QStringLiteral("/args.txt");
        const QString script = home.path() + QStringLiteral("/fake-browser");
        QVERIFY(writeFile(
            script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" + out.toLocal8Bit() + "\"\n"));
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(home.dataHome() + QStringLiteral("/applications"));
        QVERIFY(writeFile(home.dataHome() + QStringLiteral("/applications/fake-browser.desktop"),
            "[Desktop Entry]\nType=Application\nName=Fake\nExec=" + script.toLocal8Bit()
                + " %u\nMimeType=text/html;\n"));
        QVERIFY(writeFile(home.configHome() + QStringLiteral("/mimeapps.list"),
            "[Default Applications]\ntext/html=fake-browser.desktop\n"));
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
        QCOMPARE(QString::fromUtf8(testdata::readFile(out)), address + u'\n');
        QVERIFY(!QFile::exists(QStringLiteral("pwned")));
    }
};

QTEST_GUILESS_MAIN(TestShell)
#include "test_shell.moc"
