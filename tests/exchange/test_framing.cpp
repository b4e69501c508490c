#include "exchange/OVFraming.h"

#include "TestHome.h"

#include <QTest>

using namespace orvane::OVFraming;

class TestFraming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isOK_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("ok");
        QTest::newRow("200 OK") << QByteArray("HTTP/1.1 200 OK\r\n\r\n") << true;
        QTest::newRow("lower case") << QByteArray("HTTP/1.1 200 ok\r\n") << false;
        QTest::newRow("leading blank") << QByteArray(" HTTP/1.1 200 OK\r\n") << false;
        // The first space of "200 OK" itself is the one counted.
        QTest::newRow("bare status") << QByteArray("200 OK") << false;
        QTest::newRow("no space, other") << QByteArray("HTTP/1.1") << false;
        QTest::newRow("cut between blocks") << QByteArray("HTTP/1.1 200 O") << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("binary") << QByteArray("\xff\x00 200 OK", 10) << true;
    }

    void isOK()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, ok);
        QCOMPARE(IsOKResponse(reply), ok);
    }

    // A missing empty line gives 3: its position 0 plus 3.
    void contentHeader_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("contentLength");
        QTest::addColumn<int>("headerLength");
        QTest::addColumn<bool>("usable");
        const QByteArray ok("HTTP/1.1 200 OK\r\n");
        QTest::newRow("40-byte header, 10 content bytes")
            << ok + "Content-Length:  10\r\n\r\n" + QByteArray(10, 'c') << 10 << 40 << true;
        QTest::newRow("32767 without header end") << QByteArray("Content-Length: 32767\r\n") << 32767 << 3 << false;
        QTest::newRow("lower case not found") << ok + "content-length: 12\r\n\r\n" << 0 << 39 << false;
        QTest::newRow("no line end") << QByteArray("Content-Length: 12") << 0 << 3 << false;
        QTest::newRow("length only in the content") << ok + "\r\nContent-Length: 3\r\n" << 3 << 19 << false;
        QTest::newRow("empty") << QByteArray() << 0 << 0 << false;
    }

    void contentHeader()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, contentLength);
        QFETCH(int, headerLength);
        QFETCH(bool, usable);
        TestHome home;
        QCOMPARE(int(ContentLength(received)), contentLength);
        QCOMPARE(int(HeaderLength(received)), headerLength);
        QCOMPARE(ReadContentHeader(received).usable, usable);
    }

    // State names as the trace writes them: one with its trailing space, and numbers outside the table.
    void stateNames()
    {
        QCOMPARE(ExchangeStateName(120), QStringLiteral("Sent usage data "));
        QCOMPARE(ExchangeStateName(999), QStringLiteral("Unknown state: 999"));
        QCOMPARE(ExchangeStateName(-1), QStringLiteral("Unknown state: -1"));
    }
};

QTEST_GUILESS_MAIN(TestFraming)
#include "test_framing.moc"
