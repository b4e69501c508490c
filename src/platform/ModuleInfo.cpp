#include "platform/ModuleInfo.h"

#include <QFileInfo>

#include <dlfcn.h>

namespace orvane::platform {

namespace {
class LoadedModuleInfo final : public ModuleInfo
{
public:
    QString folder() const override
    {
        Dl_info info {};
        // Any symbol of this library tells where it was loaded from; the
        // control library is installed beside it.
        if (dladdr(reinterpret_cast<void *>(&ModuleInfo::real), &info) && info.dli_fname)
            return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath();
        return QString();
    }
    QString name() const override { return QStringLiteral("Orvane"); }
};
} // namespace

ModuleInfo &ModuleInfo::real()
{
    static LoadedModuleInfo info;
    return info;
}

} // namespace orvane::platform
