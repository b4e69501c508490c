// The ad record: its state text against images worked out by hand.
#include "catalogue/OVAdvertisement.h"
#include "support/OVFault.h"
#include "support/OleDate.h"

#include "CatalogueTestSupport.h"
#include "TestDoubles.h"

#include <QTest>

#include <algorithm>
#include <cstring>

using orvane::OVAdvertisement;

namespace {
// Text at offset, padded with spaces to `width` characters.
void putText(QByteArray &image, int offset, const char *text, int width = 0)
{
    const int length = int(std::strlen(text));
    for (int i = 0; i < std::max(width, length); ++i) {
        image[offset + 2 * i] = i < length ? text[i] : ' ';
        image[offset + 2 * i + 1] = 0;
    }
}
template <typename T>
void putNumber(QByteArray &image, int offset, T value)
{
    std::memcpy(image.data() + offset, &value, sizeof(T));
}

enum Field { Guid, Name, Url, File };
struct Slot
{
    void (OVAdvertisement::*set)(const QString &);
    QString (OVAdvertisement::*get)() const;
    int offset;
    int width;
};
const Slot kSlots[] = {{&OVAdvertisement::setAdGUID, &OVAdvertisement::AdGUID, 0, 38},
    {&OVAdvertisement::setAdvertiserName, &OVAdvertisement::AdvertiserName, 76, 60},
    {&OVAdvertisement::setClickURL, &OVAdvertisement::ClickURL, 204, 50},
    {&OVAdvertisement::setImageFileName, &OVAdvertisement::ImageFileName, 324, 50}};
} // namespace

class TestAdvertisement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newRecordAndLongStateText()
    {
        OVAdvertisement ad;
        const QString state = ad.GetState();
        QCOMPARE(stateBytes(state), QByteArray(464, '\0'));
        // Trimming touches spaces only: the U+0000 of a never-written slot stay.
        for (const Slot &slot : kSlots)
            QCOMPARE((ad.*slot.get)(), QString(slot.width, QChar(0)));
        QCOMPARE(ad.ExpirationDate(), 0.0);
        QVERIFY(!ad.Visible());

        // Units 217..232 of a state text do not reach the record, later ones
        // play no part; a short text is padded with spaces (see the data file's).
        QString longer = state;
        for (int i = 216; i < 232; ++i)
            longer[i] = QChar(u'Z');
        ad.SetState(longer + QStringLiteral("anything after the state"));
        QCOMPARE(stateBytes(ad.GetState()), QByteArray(464, '\0'));
    }

    void stateTextAtEveryOffset()
    {
        OVAdvertisement ad;
        ad.setAdGUID(QStringLiteral(" {0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9} "));
        ad.setAdvertiserName(QStringLiteral("  Acme"));
        ad.setExpirationDate(36526.75);
        ad.setClickURL(QStringLiteral("  http://x.example/  "));
        ad.setRating(20);
        ad.setImageFormat(-7);
        ad.setClickCount(0x0102);
        ad.setViewCount(-2);
        ad.setLastViewTime(-1.25);
        ad.setImageFileName(QStringLiteral("img/ad7.gif"));
        ad.setSize(6);
        ad.setVisible(true);

        QByteArray image(464, '\0');
        putText(image, 0, "{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}");
        // The name comes out of its getter trimmed and is padded again.
        putText(image, 76, "Acme", 60);
        putNumber(image, 196, 36526.75);
        putText(image, 204, "http://x.example/", 50);
        putNumber<int32_t>(image, 304, 20);
        putNumber<int32_t>(image, 308, -7);
        putNumber<int16_t>(image, 312, 0x0102);
        putNumber<int16_t>(image, 314, -2);
        putNumber(image, 316, -1.25);
        putText(image, 324, "img/ad7.gif", 50);
        putNumber<int32_t>(image, 424, 6);
        // Visible (428) and the alignment stay 0 in every state text.
        QCOMPARE(stateBytes(ad.GetState()).toHex(' '), image.toHex(' '));
    }

    void textFitting_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("reads");
        QTest::addColumn<int>("storedSpaces"); // leading spaces kept in the slot
        const QString sixty = QString(QStringLiteral("0123456789")).repeated(6);
        QTest::newRow("url cut to 50") << int(Url) << sixty << sixty.left(50) << 0;
        QTest::newRow("file cut to 50") << int(File) << sixty << sixty.left(50) << 0;
        QTest::newRow("name keeps 60") << int(Name) << sixty + "xy" << sixty << 0;
        QTest::newRow("name stored with leading spaces") << int(Name) << QStringLiteral("  Acme") << "Acme" << 2;
        QTest::newRow("file stored with leading spaces") << int(File) << QStringLiteral(" a.gif ") << "a.gif" << 1;
        QTest::newRow("guid shorter than its slot")
            << int(Guid) << QStringLiteral(" {X} ") << "{X}" + QString(35, u' ') << 0;
        QTest::newRow("guid cut to 38") << int(Guid) << sixty << sixty.left(38) << 0;
    }
    void textFitting()
    {
        QFETCH(int, field);
        QFETCH(QString, value);
        QFETCH(int, storedSpaces);
        const Slot &slot = kSlots[field];
        OVAdvertisement ad;
        (ad.*slot.set)(value);
        QTEST((ad.*slot.get)(), "reads");
        for (int i = 0; i < storedSpaces; ++i)
            QCOMPARE(ad.image()[slot.offset + 2 * i], uint8_t(' '));
    }

    void counting()
    {
        FakeClock clock(QDateTime(QDate(2024, 3, 1), QTime(12, 0, 0, 750)), -60);
        OVAdvertisement ad;
        ad.setLastViewTime(5.0);
        ad.IncrementClickCount(1);
        QCOMPARE(ad.ClickCount(), int16_t(1));
        QCOMPARE(ad.LastViewTime(), 5.0);

        ad.IncrementViewCount(1);
        QCOMPARE(ad.ViewCount(), int16_t(1));
        // Universal time: one hour behind local here, in the clock's whole seconds.
        QCOMPARE(ad.LastViewTime(), orvane::OleDate::fromDateTime(QDateTime(QDate(2024, 3, 1), QTime(11, 0))));

        ad.setViewCount(32767);
        ad.setLastViewTime(5.0);
        try {
            ad.IncrementViewCount(1);
            QFAIL("no overflow");
        } catch (const orvane::OVFault &fault) {
            QCOMPARE(fault.number(), 6);
        }
        QCOMPARE(ad.ViewCount(), int16_t(32767));
        QCOMPARE(ad.LastViewTime(), 5.0);

        ad.setClickCount(-32768);
        QVERIFY_THROWS_EXCEPTION(orvane::OVFault, ad.IncrementClickCount(-1));
        QCOMPARE(ad.ClickCount(), int16_t(-32768));
    }
};

QTEST_GUILESS_MAIN(TestAdvertisement)
#include "test_advertisement.moc"
