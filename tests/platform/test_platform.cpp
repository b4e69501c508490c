#include "platform/PictureTester.h"
#include "platform/Shell.h"

#include "TestData.h"
#include "TestHome.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTest>

using namespace orvane::platform;
using testdata::writeFile;

namespace {
QByteArray encoded(int w, int h, QImage::Format format, const char *type = "PNG")
{
    QImage image(w, h, format);
    image.fill(Qt::black);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, type);
    return out;
}
} // namespace

class TestPlatform : public QObject
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
    void pictures_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("picture");
        const QByteArray ad = encoded(600, 280, QImage::Format_RGB32);
        QTest::newRow("600 x 280 PNG") << ad << true;
        QTest::newRow("BMP") << encoded(300, 140, QImage::Format_RGB32, "BMP") << true;
        QTest::newRow("JPEG") << encoded(300, 140, QImage::Format_RGB32, "JPEG") << true;
        QTest::newRow("2048 x 2048") << encoded(2048, 2048, QImage::Format_Mono) << true;
        QTest::newRow("2049 wide") << encoded(2049, 10, QImage::Format_Mono) << false;
        QTest::newRow("2049 tall") << encoded(10, 2049, QImage::Format_Mono) << false;
        // Decodes into 4 MB, but its header alone refuses it.
        QTest::newRow("5700 x 5700") << encoded(5700, 5700, QImage::Format_Mono) << false;
        // Within the sides, beyond the decode bound (18 MB at 8 bytes a pixel).
        QTest::newRow("1500 x 1500 at 16 bits a channel") << encoded(1500, 1500, QImage::Format_RGBA64) << false;
        QTest::newRow("truncated PNG") << ad.left(ad.size() / 2) << false;
        QTest::newRow("nothing") << QByteArray() << false;
    }

    void pictures()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, picture);
        TestHome home;
        const QString path = home.path() + QStringLiteral("/ad.gif");
        QVERIFY(testdata::writeFile(path, bytes));
        const int hostLimit = QImageReader::allocationLimit();
        PictureTester &tester = PictureTester::instance();
        QCOMPARE(tester.isPictureFile(path), picture);
        QCOMPARE(tester.isPicture(bytes), picture);
        // The host's own decode bound is left as it was.
        QCOMPARE(QImageReader::allocationLimit(), hostLimit);
    }
};

QTEST_MAIN(TestPlatform)
#include "test_platform.moc"
