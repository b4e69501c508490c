// The local data file: byte-exact images, hand-written files, refusals and
// crash safety of the save.
#include "catalogue/OVCommercials.h"
#include "support/OVHelperFunctions.h"
#include "support/OVSimpleLog.h"

#include "CatalogueTestSupport.h"
#include "TestDoubles.h"
#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <optional>
#include <sys/stat.h>

using namespace orvane;

namespace {
std::shared_ptr<OVAdvertisement> countedAd(int n)
{
    auto ad = makeAd(n, (n % 4) + 1, n % 2 ? 10 : 20, 45000.25 + n);
    ad->setClickCount(int16_t(n * 3));
    ad->setViewCount(int16_t(n * 5));
    return ad;
}

// A file as another program could have written it: header and scrambled states.
QByteArray handWritten(
    int16_t version, int16_t count, const QStringList &states, uint8_t keyByte15 = 0x11, uint8_t vectorByte15 = 0x22)
{
    QByteArray key, vector;
    for (int j = 0; j < 16; ++j) {
        key.append(char(j < 15 ? j + 1 : keyByte15));
        vector.append(char(j < 15 ? 0x80 + j : vectorByte15));
    }
    QByteArray file;
    file.append(char(version & 0xFF)).append(char(version >> 8));
    for (int j = 0; j < 16; ++j)
        file.append(char(key[j] ^ vector[j]));
    file.append(vector).append(char(count & 0xFF)).append(char(count >> 8));
    file.append(OVHelperFunctions::EncryptByteArray(stateBytes(states.join(QString())), key.left(15), vector.left(15)));
    return file;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestDataFile : public QObject
{
    Q_OBJECT
    struct Fixture
    {
        TestHome home;
        RecordingMessageBoxes boxes;
        QTemporaryDir dir;
    };
    std::optional<Fixture> m_f;

    QString dat() const { return m_f->dir.filePath(QStringLiteral("OVImage.dat")); }
    QString bak() const { return m_f->dir.filePath(QStringLiteral("OVImage.bak")); }
    QStringList warnings() const
    {
        QStringList out;
        for (const auto &shown : m_f->boxes.shown)
            out.append((shown.second.isEmpty() ? QStringLiteral("error: ") : QString()) + shown.first);
        return out;
    }

    // The views every record of a file holds, or -1 when they differ or the
    // file has not `records` records.
    int loadedViews(const QString &name, int records) const
    {
        QTemporaryDir check;
        if (!QFile::copy(m_f->dir.filePath(name), check.filePath(QStringLiteral("OVImage.dat"))))
            return -1;
        OVCommercials loaded;
        loaded.LoadAdInfoFromLocalStorage(check.path(), check.path());
        QSet<int> views;
        for (const auto &ad : loaded.Ads())
            views.insert(ad->ViewCount());
        return loaded.AdCount() == records && views.size() == 1 ? *views.begin() : -1;
    }

private Q_SLOTS:
    void init()
    {
        m_f.emplace();
        OVSimpleLog::switches().VerboseWarnings = OVSimpleLog::switches().VerboseErrors = true;
    }
    void cleanup() { m_f.reset(); }

    // Version, key XOR vector, vector, count, then the scrambled states; the
    // first save has nothing to back up.
    void savedImageIsByteExact_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("header only") << 0;
        QTest::newRow("two records") << 2;
    }
    void savedImageIsByteExact()
    {
        QFETCH(int, records);
        QList<double> draws; // key byte j + 1, vector byte 0x80 + j
        for (int j = 0; j < 16; ++j)
            draws << (j + 0.5) / 255.0 << (0x7F + j + 0.5) / 255.0;
        ScriptedRandom random(draws);
        OVCommercials c;
        QStringList states;
        for (int n = 1; n <= records; ++n) {
            c.AddAdvertisement(countedAd(n));
            states.append(countedAd(n)->GetState());
        }
        c.setDataFolder(m_f->dir.path());
        QVERIFY(c.SaveAdInfoToLocalStorage());
        QCOMPARE(random.position, 32);

        const QByteArray expected = handWritten(3, int16_t(records), states, 16, 0x8F);
        QCOMPARE(expected.left(6), QByteArray("\x03\x00\x81\x83\x81\x87", 6));
        QCOMPARE(readFile(dat()).toHex(), expected.toHex());
        QCOMPARE(QDir(m_f->dir.path()).entryList(QDir::Files), QStringList({"OVImage.dat"}));
    }

    void handWrittenFiles_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("count"); // -1: the catalogue stays as it was
        QTest::addColumn<QString>("report"); // %1: the data file
        QTest::addColumn<QString>("guid"); // of the first record
        const QString a = countedAd(1)->GetState();
        const QString b = countedAd(2)->GetState();
        const QString duplicate
            = "error: OVCommercials.LoadAdInfoFromLocalStorage\r\n457 " + OVFault::standardDescription(457);
        const QString obsolete = QStringLiteral("Existing data file is obsolete");
        const QString first = countedAd(1)->AdGUID();
        const QString kept = countedAd(9)->AdGUID();
        const auto row = [&](const char *tag, const QByteArray &file, int count, const QString &report = QString(),
                             const QString &guid = QString()) {
            QTest::newRow(tag) << file << count << report << (guid.isNull() ? first : guid);
        };
        row("version 3", handWritten(3, 2, {a, b}), 2);
        row("version 9 read as 3", handWritten(9, 2, {a, b}), 2);
        row("version 2", handWritten(2, 2, {a, b}), -1, obsolete, kept);
        row("version -1", handWritten(-1, 2, {a, b}), -1, obsolete, kept);
        row("fewer records than the payload", handWritten(3, 1, {a, b}), 1);
        row("negative count", handWritten(3, -5, {a, b}), 0);
        // The first missing record comes from blanks; the second has its key.
        row("more records than the payload", handWritten(3, 4, {a, b}), 3, duplicate);
        row("duplicate key skipped", handWritten(3, 3, {a, a, b}), 2, duplicate);
        row("37 bytes", handWritten(3, 1, {a}).left(37), -1, QStringLiteral("Empty data file '%1'"), kept);
        row("38 bytes", handWritten(3, 1, {a}).left(38), 1, QString(), QStringLiteral("{") + QString(37, u' '));
        // Bytes 15 of the key and the vector are written but key nothing.
        row("key and vector byte 15", handWritten(3, 2, {a, b}, 0xFE, 0x01), 2);
        row("odd length", handWritten(3, 1, {a}).left(36 + 101), 1);
        // No file, a folder in the way, a pipe with no writer (opening it would block).
        row("missing", QByteArray(), -1, QStringLiteral("Cannot find data file '%1'"), kept);
        row("folder in the way", "folder", -1, QStringLiteral("Cannot find data file '%1'"), kept);
        row("pipe", "pipe", -1, QStringLiteral("Error opening data file '%1'"), kept);
    }
    void handWrittenFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, count);
        QFETCH(QString, report);
        if (file == "folder")
            QDir().mkdir(dat());
        else if (file == "pipe")
            QVERIFY(::mkfifo(QFile::encodeName(dat()).constData(), 0600) == 0);
        else if (!file.isNull())
            writeFile(dat(), file);
        OVCommercials c;
        c.AddAdvertisement(countedAd(9));
        c.LoadAdInfoFromLocalStorage(m_f->dir.path(), QStringLiteral(" img "));
        QCOMPARE(warnings(), report.isEmpty() ? QStringList() : QStringList({report.replace("%1", dat())}));
        QCOMPARE(c.AdCount(), int16_t(count < 0 ? 1 : count));
        QCOMPARE(c.DataFolder(), m_f->dir.path());
        if (c.AdCount() > 0)
            QTEST(c.Ad(1)->AdGUID(), "guid");
        if (count == 2) { // every field but Visible, and the image folder exactly as given
            for (int n = 1; n <= 2; ++n) {
                QCOMPARE(c.Ad(n)->GetState(), countedAd(n)->GetState());
                QVERIFY(!c.Ad(n)->Visible());
            }
            QCOMPARE(c.ImageFolder(), QStringLiteral(" img "));
        }
        if (count == 3) {
            QCOMPARE(c.Ad(3)->AdGUID(), QString(38, u' '));
            QCOMPARE(c.Ad(3)->Rating(), 0x00200020);
            QVERIFY(!c.Ad(3)->Visible()); // its slot held 0x0020
        }
    }

    void saveRefusals()
    {
        OVCommercials c;
        c.AddAdvertisement(countedAd(1));
        QVERIFY(!c.SaveAdInfoToLocalStorage());
        QCOMPARE(c.LastError(), 701);
        QCOMPARE(warnings(), QStringList({"No image folder"}));

        c.setDataFolder(m_f->dir.filePath("data"));
        QCOMPARE(c.CannotSaveReason(), QString());
        QCOMPARE(QDir(m_f->dir.filePath("data")).entryList(QDir::Files), QStringList()); // the probe is gone
        // A data folder that cannot be made: under a plain file.
        writeFile(m_f->dir.filePath("plain"), "x");
        const QString folder = m_f->dir.filePath("plain/data");
        c.setDataFolder(folder);
        QVERIFY(c.CannotSaveReason().startsWith("Cannot open data file: "));
        QVERIFY(!c.SaveAdInfoToLocalStorage());
        QCOMPARE(warnings().last(), "Cannot open data file: " + folder + "/OVImage.dat");
    }

    // A write that fails part-way leaves the previous file in place: in the
    // header the save fails; later it is logged, ends true and stays pending;
    // the next save backs up the file it replaces.
    void writeFaultsKeepThePreviousFile_data()
    {
        QTest::addColumn<int>("limit");
        for (int limit : {0, 35, 36, 500, 36 + 3 * 464 - 1})
            QTest::addRow("%d bytes", limit) << limit;
    }
    void writeFaultsKeepThePreviousFile()
    {
        QFETCH(int, limit);
        OVCommercials c;
        c.AddAdvertisement(countedAd(1));
        c.AddAdvertisement(countedAd(2));
        c.setDataFolder(m_f->dir.path());
        QVERIFY(c.SaveAdInfoToLocalStorage());
        QVERIFY(c.SaveAdInfoToLocalStorage());
        QVERIFY(!c.SavePending());
        const QByteArray good = readFile(dat());
        const QByteArray goodBak = readFile(bak());
        // Every save draws a fresh key and vector, no byte of either zero.
        QVERIFY(good.mid(2, 32) != goodBak.mid(2, 32));
        QVERIFY(good.mid(36) != goodBak.mid(36));
        for (int j = 0; j < 16; ++j)
            QVERIFY(good[18 + j] != 0 && (good[2 + j] ^ good[18 + j]) != 0);
        c.AddAdvertisement(countedAd(3));

        std::optional<DiskFull> full(std::in_place, rlim_t(limit));
        const bool saved = c.SaveAdInfoToLocalStorage();
        full.reset();
        QCOMPARE(saved, limit >= 36);
        QVERIFY(c.SavePending());
        QVERIFY(warnings().last().startsWith("error: OVCommercials.SaveAdInfoToLocalStorage\r\n61 "));
        QCOMPARE(readFile(dat()), good);
        QCOMPARE(readFile(bak()), goodBak);
        QCOMPARE(QDir(m_f->dir.path()).entryList(QDir::Files), QStringList({"OVImage.bak", "OVImage.dat"}));
        QVERIFY(c.SaveAdInfoToLocalStorage()); // the next save catches up
        QVERIFY(!c.SavePending());
        QCOMPARE(readFile(bak()), good);
    }

    // Temporary files of a save that died are removed by the next save; the
    // new file takes the old one's permissions, a first file the umask's.
    void staleTemporariesAndPermissions()
    {
        FakeModuleInfo module(m_f->dir.filePath("module"));
        QDir().mkpath(m_f->dir.filePath("module"));
        const mode_t mask = ::umask(027);
        // Two of a dead save's, two not ours.
        for (const char *name : {"OVImage.dat.a1B2c3", "OVImage.bak.Zz9Yy8", "OVImage.dat.keep", "ovimage.dat.a1B2c3"})
            writeFile(m_f->dir.filePath(name), "x");
        OVCommercials c;
        c.setTraceLocalStorage(true);
        c.setDataFolder(m_f->dir.path());
        QVERIFY(c.SaveAdInfoToLocalStorage());
        const auto mode = [this] { return QFile::permissions(dat()) & ~(QFile::ReadUser | QFile::WriteUser); };
        QCOMPARE(mode(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QFile::setPermissions(dat(), QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(c.SaveAdInfoToLocalStorage());
        QCOMPARE(mode(), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(::umask(mask), mode_t(027)); // never changed by the save
        QCOMPARE(QDir(m_f->dir.path()).entryList(QDir::Files, QDir::Name),
            QStringList({"OVImage.bak", "OVImage.dat", "OVImage.dat.keep", "ovimage.dat.a1B2c3"}));
        QVERIFY(readFile(OVSimpleLog::TraceFileName()).contains("Backing up data file"));
    }

    // A process killed at any moment of its saves leaves a file that loads
    // with all records, as of the last completed save or a later one, and
    // once there has been a backup it is always there.
    void killedWhileSaving()
    {
        const int records = 40;
        QProcess saver;
        saver.setProgram(QStringLiteral(DATAFILE_SAVER));
        saver.setArguments({m_f->dir.path(), QString::number(records)});
        int saves = 0;
        // The kill comes at a random moment; the seed repeats a run.
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        // Rounds until about 50 saves have completed, however fast they are.
        for (int round = 0; round < 12 || saves < 50; ++round) {
            QVERIFY(round < 200);
            saver.start();
            QVERIFY(saver.waitForStarted());
            // Wait for at least one completed save so that there is something to keep.
            while (!saver.canReadLine() && saver.state() == QProcess::Running)
                saver.waitForReadyRead(100);
            QTest::qWait(random.bounded(60)); // not a wait for anything: the moment of the kill
            ::kill(pid_t(saver.processId()), SIGKILL);
            QVERIFY(saver.waitForFinished());
            int lastCompleted = 0;
            for (const QByteArray &line : saver.readAllStandardOutput().split('\n')) {
                QVERIFY(line != "failed");
                if (!line.isEmpty())
                    lastCompleted = line.toInt();
            }
            QVERIFY(lastCompleted > 0);
            saves += lastCompleted;

            const int views = loadedViews(QStringLiteral("OVImage.dat"), records);
            // The save under way when the kill came may have completed too.
            QVERIFY(views >= lastCompleted && views <= lastCompleted + 1);
            QVERIFY(saves == 1 || loadedViews(QStringLiteral("OVImage.bak"), records) > 0);
        }
        QVERIFY(warnings().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDataFile)
#include "test_datafile.moc"
