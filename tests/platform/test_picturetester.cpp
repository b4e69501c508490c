#include "platform/ImageLimits.h"
#include "platform/PictureTester.h"

#include "TestHome.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTest>

using orvane::platform::PictureTester;

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

class TestPictureTester : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        const int hostLimit = QImageReader::allocationLimit();
        PictureTester &tester = PictureTester::instance();
        QCOMPARE(tester.isPictureFile(path), picture);
        QCOMPARE(tester.isPicture(bytes), picture);
        // The host's own decode bound is left as it was.
        QCOMPARE(QImageReader::allocationLimit(), hostLimit);
    }
};

QTEST_MAIN(TestPictureTester)
#include "test_picturetester.moc"
