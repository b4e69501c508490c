// Hostile bytes as the local data file: loading must neither crash nor hang,
// and what it loads must save and load back to the same records.
#include "catalogue/OVCommercials.h"

#include <orvane/ResultCodes.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

using namespace orvane;

namespace {
QTemporaryDir &home()
{
    // Settings, trace and state stay out of the user's own folders. Memory
    // backed when possible: the data file is saved with fsync at every run,
    // and durability is not what is fuzzed here.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
            ? QStringLiteral("/dev/shm/orvane-fuzz-XXXXXX")
            : QDir::tempPath() + QStringLiteral("/orvane-fuzz-XXXXXX"));
    static const bool once = [] {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
        qputenv("XDG_STATE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("state"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
        QDir().mkpath(dir.filePath(QStringLiteral("files")));
        return true;
    }();
    Q_UNUSED(once);
    return dir;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = home().filePath(QStringLiteral("files"));
    {
        QFile file(folder + QStringLiteral("/OVImage.dat"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    OVCommercials catalogue;
    catalogue.LoadAdInfoFromLocalStorage(folder, folder);
    QStringList states;
    for (const auto &ad : catalogue.Ads()) {
        states.append(ad->GetState());
        // The selection must cope with whatever the record holds.
        ad->setVisible(false);
    }
    catalogue.GetUnusedRandomAd(2, true, orvane::UnspecifiedRating);

    if (catalogue.AdCount() > 0 && catalogue.SaveAdInfoToLocalStorage()) {
        OVCommercials again;
        again.LoadAdInfoFromLocalStorage(folder, folder);
        QStringList reloaded;
        for (const auto &ad : again.Ads())
            reloaded.append(ad->GetState());
        if (reloaded != states)
            std::abort();
    }
    return 0;
}
