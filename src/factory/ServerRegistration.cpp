#include "factory/ServerRegistration.h"

#include "factory/ClassObject.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <dlfcn.h>

namespace orvane::ServerRegistration {

namespace {
const QString kPluginFile = QStringLiteral("libOrvaneDesigner.so");
const QString kClassId = QStringLiteral("ClassId");
const QString kLibrary = QStringLiteral("Library");

// Whether a recorded path names the same file, through
// whatever link it was recorded (libOrvane.so, libOrvane.so.1, ...).
bool sameFile(const QString &recorded, const QString &ours)
{
    if (recorded == ours)
        return true;
    const QString canonical = QFileInfo(ours).canonicalFilePath();
    return !canonical.isEmpty() && QFileInfo(recorded).canonicalFilePath() == canonical;
}

// Removes a folder we may have made, and its parent, if they are empty.
void removeEmptyFolders(const QString &folder, int levels)
{
    QDir dir(folder);
    for (int i = 0; i < levels && dir.exists() && dir.isEmpty(); ++i) {
        const QString name = dir.dirName();
        if (!dir.cdUp() || !dir.rmdir(name))
            return;
    }
}
} // namespace

QString registryFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Orvane/classes.ini");
}

QString designerPluginLink()
{
    return QDir::homePath() + QStringLiteral("/.designer/plugins/") + kPluginFile;
}

QString libraryFile()
{
    Dl_info info {};
    if (dladdr(reinterpret_cast<void *>(&OrvaneGetClassObject), &info) && info.dli_fname)
        return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absoluteFilePath();
    return QString();
}

QString designerPlugin()
{
    const QString folder = QFileInfo(libraryFile()).absolutePath();
    // The build tree keeps it in lib/designer; an installed one is under Qt's plugin folder.
    for (const QString &candidate :
        {folder + QStringLiteral("/designer/"), folder + QStringLiteral("/qt6/plugins/designer/")}) {
        if (QFileInfo::exists(candidate + kPluginFile))
            return candidate + kPluginFile;
    }
    return QString();
}

bool registerServer()
{
    const QString library = libraryFile();
    if (library.isEmpty())
        return false;
    QDir().mkpath(QFileInfo(registryFile()).absolutePath());
    {
        QSettings registry(registryFile(), QSettings::IniFormat);
        for (const ClassObject *c : ClassObject::all()) {
            registry.beginGroup(c->className());
            registry.setValue(kClassId, c->classId());
            registry.setValue(kLibrary, library);
            registry.endGroup();
        }
        registry.sync();
        if (registry.status() != QSettings::NoError)
            return false;
    }
    const QString plugin = designerPlugin();
    if (plugin.isEmpty())
        return true;
    const QString link = designerPluginLink();
    const QFileInfo existing(link);
    if (existing.isSymLink() && existing.symLinkTarget() == plugin)
        return true;
    if (existing.exists() || existing.isSymLink())
        return true; // someone else's plugin file: left alone
    QDir().mkpath(existing.absolutePath());
    return QFile::link(plugin, link);
}

bool unregisterServer()
{
    const QString library = libraryFile();
    bool empty = false;
    {
        QSettings registry(registryFile(), QSettings::IniFormat);
        for (const ClassObject *c : ClassObject::all()) {
            registry.beginGroup(c->className());
            const bool ours = sameFile(registry.value(kLibrary).toString(), library)
                && registry.value(kClassId).toString() == c->classId();
            registry.endGroup();
            if (ours)
                registry.remove(c->className());
        }
        registry.sync();
        empty = registry.allKeys().isEmpty();
    }
    if (empty && QFile::exists(registryFile())) {
        QFile::remove(registryFile());
        removeEmptyFolders(QFileInfo(registryFile()).absolutePath(), 1);
    }
    const QString plugin = designerPlugin();
    const QFileInfo link(designerPluginLink());
    if (!plugin.isEmpty() && link.isSymLink() && sameFile(link.symLinkTarget(), plugin)) {
        QFile::remove(link.filePath());
        removeEmptyFolders(link.absolutePath(), 2);
    }
    return true;
}

} // namespace orvane::ServerRegistration
