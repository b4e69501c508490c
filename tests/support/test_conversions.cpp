#include "support/Ansi.h"
#include "support/OVHelperFunctions.h"
#include "support/OVSimpleLog.h"
#include "support/OleDate.h"

#include <orvane/ResultCodes.h>

#include "TestData.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QRandomGenerator>
#include <QTest>

using namespace testdata;
using namespace orvane;
using namespace orvane::OVHelperFunctions;

class TestConversions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resultCodeText_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        const QList<QPair<int, const char *>> table = {{-1, "Error"}, {0, "Success"}, {101, "Not implemented"},
            {102, "Control disabled"}, {201, "No data file"}, {202, "Empty data file"}, {203, "Invalid Ad Offering"},
            {601, "Transfer in progress"}, {602, "Invalid Remote Host"}, {603, "Invalid ProductID"},
            {604, "Remote Host not specified"}, {605, "No usage report"}, {606, "No demographic data"},
            {607, "Cannot transfer at design time"}, {608, "Orv error code: 608"}, {610, "Winsock error"},
            {701, "No image folder"}, {702, "No data folder"}, {801, "Form already shown"},
            {802, "Orv error code: 802"}, {1001, "Transfer complete"}, {1002, "Usage data sent"},
            {1003, "Usage data not sent"}, {1004, "Connected"}, {5, "Orv error code: 5"},
            {-32768, "Orv error code: -32768"}};
        for (const auto &[code, text] : table)
            QTest::addRow("%d", code) << code << QString::fromUtf8(text);
    }
    void resultCodeText()
    {
        QFETCH(int, code);
        QTEST(ResultCodeText(code), "text");
    }

    // Every row also unscrambles back to its data.
    void scramble_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("vector");
        QTest::addColumn<QByteArray>("scrambled");
        QTest::newRow("empty data") << QByteArray() << bytes({1, 2}) << bytes({3, 4}) << QByteArray();
        QTest::newRow("empty key") << bytes({1, 2}) << QByteArray() << bytes({3, 4}) << QByteArray();
        QTest::newRow("shorter than key")
            << bytes({0xF0, 0x0F}) << bytes({0x11, 0x22, 0x33}) << bytes({9, 9, 9}) << bytes({0xE1, 0x2D});
        // The byte after the first block is masked by (C[0] + V[0]) mod 256, the third block chains on the second.
        QTest::newRow("third block chains on the second")
            << bytes({0xA0, 0xB0, 0xC0, 0xD0, 0x11, 0x22, 0x33}) << bytes({1, 2, 3}) << bytes({7, 8, 9})
            << bytes({0xA1, 0xB2, 0xC3, 0x78, 0xAB, 0xEE, 0x4C});
        // Scrambled byte 200 plus vector byte 100 wraps to the mask 44.
        QTest::newRow("sum wraps") << bytes({0, 0}) << bytes({200}) << bytes({100}) << bytes({200, 44});
        // Vector bytes past the key length are never used.
        QTest::newRow("longer vector") << bytes({0, 0, 0}) << bytes({1}) << bytes({2, 0xFF, 0xFF}) << bytes({1, 3, 5});
    }
    void scramble()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, vector);
        QFETCH(QByteArray, scrambled);
        QCOMPARE(EncryptByteArray(data, key, vector), scrambled);
        QCOMPARE(DecryptByteArray(scrambled, key, vector), key.isEmpty() ? QByteArray() : data);
    }

    // Against the chaining written out byte by byte, over lengths around the
    // block and lane widths and every key length up to past 16.
    void scrambleMatchesChainingByteForByte()
    {
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        const auto chained = [](const QByteArray &in, const QByteArray &k, const QByteArray &v, bool scramble) {
            QByteArray out(in.size(), '\0');
            for (qsizetype j = 0; j < in.size(); ++j) {
                const qsizetype b = j % k.size();
                const uint8_t mask = j < k.size()
                    ? uint8_t(k[j])
                    : uint8_t(uint8_t((scramble ? out : in)[j - k.size()]) + uint8_t(v[b]));
                out[j] = char(uint8_t(in[j]) ^ mask);
            }
            return out;
        };
        for (int keyLength = 1; keyLength <= 18; ++keyLength) {
            for (int length : {keyLength + 15, keyLength + 16, keyLength + 17, 100, 464, 32'767}) {
                QByteArray data(length, '\0');
                QByteArray key(keyLength, '\0');
                QByteArray vector(keyLength, '\0');
                for (QByteArray *bytes : {&data, &key, &vector})
                    for (char &c : *bytes)
                        c = char(random.bounded(256));
                const QByteArray scrambled = chained(data, key, vector, true);
                QCOMPARE(EncryptByteArray(data, key, vector), scrambled);
                QCOMPARE(DecryptByteArray(scrambled, key, vector), data);
            }
        }
    }

    void shortChainingVectorIsLoggedNotFatal()
    {
        TestHome home;
        RecordingMessageBoxes boxes;
        OVSimpleLog::switches().VerboseErrors = true;
        QCOMPARE(EncryptByteArray(bytes({1, 2, 3, 4, 5}), bytes({9, 9}), bytes({1})).size(), 5);
        QVERIFY(boxes.shown.value(0).first.startsWith(QStringLiteral("OVHelpers.EncryptByteArray\r\n9 ")));
    }

    void copy_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length"); // -1: not given
        QTest::addColumn<QByteArray>("copy");
        QTest::addColumn<int>("logged"); // faults, one per byte outside the source
        const QByteArray ten = bytes({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
        QTest::newRow("to the end") << ten << 3 << -1 << bytes({3, 4, 5, 6, 7, 8, 9}) << 0;
        QTest::newRow("start at the end") << ten << 10 << -1 << QByteArray() << 0;
        QTest::newRow("slice") << ten << 2 << 3 << bytes({2, 3, 4}) << 0;
        QTest::newRow("empty source") << QByteArray() << 0 << 5 << QByteArray() << 0;
        // Bytes in range are kept; only those outside stay zero.
        QTest::newRow("past the end") << ten << 8 << 4 << bytes({8, 9, 0, 0}) << 2;
        QTest::newRow("before the start") << ten << -2 << 4 << bytes({0, 0, 0, 1}) << 2;
    }
    void copy()
    {
        QFETCH(QByteArray, source);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(int, logged);
        TestHome home;
        RecordingMessageBoxes boxes;
        OVSimpleLog::switches().VerboseErrors = true;
        QByteArray out = "junk";
        QVERIFY(CopyByteArray(source, out, start, length < 0 ? std::nullopt : std::optional<qsizetype>(length)));
        QTEST(out, "copy");
        // Appending the copy: onto the source, onto nothing, and nothing onto the source.
        QByteArray grown = source, none;
        QVERIFY(ConcatenateByteArrays(grown, out) && ConcatenateByteArrays(none, out));
        QCOMPARE(grown, source + out);
        QCOMPARE(none, out);
        QCOMPARE(boxes.shown.size(), logged);
        for (const auto &box : boxes.shown)
            QVERIFY(box.first.startsWith(QStringLiteral("OVHelpers.CopyByteArray\r\n9 ")));
    }

    // Text travels in the ANSI code page; a character outside it is a fault.
    void ansiCodePage()
    {
        for (int b = 0; b < 256; ++b)
            QCOMPARE(int(Ansi::fromChar(Ansi::toChar(static_cast<unsigned char>(b))).value_or(0)), b);
        QCOMPARE(Ansi::toChar(0x9F), QChar(0x0178));
        QCOMPARE(Ansi::encode(QString(QChar(0x0100))), QByteArray("?"));
        QCOMPARE(StringToByteArray(QStringLiteral("GET /")), QByteArray("GET /"));
        QCOMPARE(StringToByteArray(QString(QChar(0x20AC)) + QChar(0xE9)), bytes({0x80, 0xE9}));
        QVERIFY_THROWS_EXCEPTION(OVFault, StringToByteArray(QString()));
        try {
            StringToByteArray(QString(QChar(0x4E2D)));
            QFAIL("no fault for a character outside the code page");
        } catch (const OVFault &fault) {
            QCOMPARE(fault.number(), 5);
        }
    }
    void oleDates_data()
    {
        QTest::addColumn<double>("ole");
        QTest::addColumn<QDateTime>("dateTime");
        QTest::newRow("epoch") << 0.0 << QDateTime(QDate(1899, 12, 30), QTime(0, 0));
        QTest::newRow("2.5") << 2.5 << QDateTime(QDate(1900, 1, 1), QTime(12, 0));
        QTest::newRow("quarter past six") << 36526.2604166666667 << QDateTime(QDate(2000, 1, 1), QTime(6, 15));
        // Before the epoch the fraction still counts forward from midnight.
        QTest::newRow("-1.25") << -1.25 << QDateTime(QDate(1899, 12, 29), QTime(6, 0));
        QTest::newRow("-0.5") << -0.5 << QDateTime(QDate(1899, 12, 30), QTime(12, 0));
        QTest::newRow("-2 and a 1024th") << -(2.0 + 1.0 / 1024) << QDateTime(QDate(1899, 12, 28), QTime(0, 1, 24, 375));
    }
    void oleDates()
    {
        QFETCH(double, ole);
        QFETCH(QDateTime, dateTime);
        QCOMPARE(OleDate::toDateTime(ole), dateTime);
        if (ole != -0.5) // -0.5 and 0.5 are the same moment; 0.5 is the canonical form
            QCOMPARE(OleDate::fromDateTime(dateTime), ole);
        QCOMPARE(OleDate::toDate(ole), dateTime.date());
    }

    void outOfRangeAndCarries()
    {
        QVERIFY(!OleDate::toDateTime(qInf()).isValid());
        QVERIFY(!OleDate::toDateTime(1e300).isValid());
        const double before = OleDate::fromDateTime(QDateTime(QDate(1999, 12, 31), QTime(23, 59)));
        QCOMPARE(OleDate::toDateTime(OleDate::addMinutes(before, 2)), QDateTime(QDate(2000, 1, 1), QTime(0, 1)));
        QCOMPARE(OleDate::toDateTime(OleDate::addMinutes(0.25, -420)), QDateTime(QDate(1899, 12, 29), QTime(23, 0)));
    }
};

QTEST_GUILESS_MAIN(TestConversions)
#include "test_conversions.moc"
