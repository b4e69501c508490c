// The four entry points of the component library.
#include <orvane/OrvaneFactory.h>

#include "factory/ClassObject.h"
#include "factory/ServerRegistration.h"
#include "support/ErrorHandler.h"

using namespace orvane;

extern "C" {

int OrvaneGetClassObject(const char *classIdOrName, ClassFactory **factory)
{
    if (!factory)
        return ORVANE_E_POINTER;
    *factory = nullptr;
    if (!classIdOrName)
        return ORVANE_E_POINTER;
    *factory = ClassObject::find(QString::fromUtf8(classIdOrName));
    return *factory ? ORVANE_S_OK : ORVANE_E_CLASSNOTAVAILABLE;
}

int OrvaneCanUnloadNow()
{
    return ClassObject::inUse() ? ORVANE_S_FALSE : ORVANE_S_OK;
}

int OrvaneRegisterServer()
{
    bool ok = false;
    guarded(QStringLiteral("Orvane.RegisterServer"), [&] { ok = ServerRegistration::registerServer(); });
    return ok ? ORVANE_S_OK : ORVANE_E_FAIL;
}

int OrvaneUnregisterServer()
{
    bool ok = false;
    guarded(QStringLiteral("Orvane.UnregisterServer"), [&] { ok = ServerRegistration::unregisterServer(); });
    return ok ? ORVANE_S_OK : ORVANE_E_FAIL;
}

} // extern "C"
