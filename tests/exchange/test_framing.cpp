#include "exchange/OVFraming.h"

#include "TestHome.h"

#include <QTest>

using namespace orvane;
using namespace orvane::OVFraming;

class TestFraming : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void usagePost();
    void adListRequest();
    void isOK_data();
    void isOK();
    void contentLength_data();
    void contentLength();
    void headerLength();
    void contentHeader_data();
    void contentHeader();
    void stateNames();
};

void TestFraming::usagePost()
{
    const QByteArray body("\x03\x00\x02", 3);
    const QByteArray post = ComposeUsagePost(QStringLiteral("  ads.example  "), body);
    QCOMPARE(post,
        QByteArray("POST /Orvane/Usage HTTP/1.1\r\nHost: ads.example\r\nCache-Control: no-cache\r\n"
                   "Content-Type: application/x-orvane\r\nContent-Length: 1\r\n\r\n")
            + body);
    QCOMPARE(AnnouncedUsageLength(QByteArray(100, 'x')), 98);
    QCOMPARE(AnnouncedUsageLength(QByteArray(51, 'x')), 49);
}

void TestFraming::adListRequest()
{
    QCOMPARE(ComposeAdListRequest(QStringLiteral("127.0.0.1")),
        QByteArray("GET /Orvane/Ads HTTP/1.1\r\nHost: 127.0.0.1\r\nCache-Control: no-cache\r\n\r\n"));
}

void TestFraming::isOK_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");
    QTest::newRow("200 OK") << QByteArray("HTTP/1.1 200 OK\r\n\r\n") << true;
    QTest::newRow("500") << QByteArray("HTTP/1.1 500 Internal Server Error\r\n") << false;
    QTest::newRow("lower case") << QByteArray("HTTP/1.1 200 ok\r\n") << false;
    QTest::newRow("leading blank") << QByteArray(" HTTP/1.1 200 OK\r\n") << false;
    // The first space of "200 OK" itself is the one counted.
    QTest::newRow("bare status") << QByteArray("200 OK") << false;
    QTest::newRow("no space, other") << QByteArray("HTTP/1.1") << false;
    QTest::newRow("cut between blocks") << QByteArray("HTTP/1.1 200 O") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("binary") << QByteArray("\xff\x00 200 OK", 10) << true;
}

void TestFraming::isOK()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    QCOMPARE(IsOKResponse(reply), ok);
}

void TestFraming::contentLength_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<int>("length");
    QTest::newRow("1234") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n\r\n") << 1234;
    QTest::newRow("lower case not found") << QByteArray("HTTP/1.1 200 OK\r\ncontent-length: 12\r\n\r\n") << 0;
    QTest::newRow("32767") << QByteArray("Content-Length: 32767\r\n") << 32767;
    QTest::newRow("too large") << QByteArray("Content-Length: 40000\r\n") << 0;
    QTest::newRow("no line end") << QByteArray("Content-Length: 12") << 0;
}

void TestFraming::contentLength()
{
    TestHome home;
    QFETCH(QByteArray, header);
    QFETCH(int, length);
    QCOMPARE(int(ContentLength(header)), length);
}

void TestFraming::headerLength()
{
    TestHome home;
    // 40 header bytes ending with the empty line, then 10 content bytes.
    const QByteArray header = QByteArray("HTTP/1.1 200 OK\r\nContent-Length:  10\r\n\r\n");
    QCOMPARE(header.size(), 40);
    QCOMPARE(int(ContentLength(header)), 10);
    QCOMPARE(int(HeaderLength(header + QByteArray(10, 'c'))), 40);
    QCOMPARE(int(HeaderLength(QByteArray())), 0);
}

void TestFraming::contentHeader_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("usable");
    QTest::newRow("good") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc") << true;
    QTest::newRow("no length") << QByteArray("HTTP/1.1 200 OK\r\n\r\nabc") << false;
    QTest::newRow("no header end") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n") << false;
    QTest::newRow("too long") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\n") << false;
}

void TestFraming::contentHeader()
{
    TestHome home;
    QFETCH(QByteArray, received);
    QFETCH(bool, usable);
    QCOMPARE(ReadContentHeader(received).usable, usable);
}

void TestFraming::stateNames()
{
    QCOMPARE(ExchangeStateName(10), QStringLiteral("Idle"));
    QCOMPARE(ExchangeStateName(120), QStringLiteral("Sent usage data "));
    QCOMPARE(ExchangeStateName(127), QStringLiteral("Sending ContentRequest"));
    QCOMPARE(ExchangeStateName(150), QStringLiteral("Receiving Ad content"));
    QCOMPARE(ExchangeStateName(210), QStringLiteral("Done"));
    QCOMPARE(ExchangeStateName(999), QStringLiteral("Unknown state: 999"));
}

QTEST_GUILESS_MAIN(TestFraming)
#include "test_framing.moc"
