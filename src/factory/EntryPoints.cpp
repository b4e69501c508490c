// The four entry points of the component library.
#include <orvane/orvane.h>

#include "factory/ClassObject.h"
#include "factory/ServerRegistration.h"
#include "support/ErrorHandler.h"

using namespace orvane;

extern "C" {

int OrvaneGetClassObject(const char *classIdOrName, OrvaneClassObject **classObject)
{
    if (!classObject)
        return ORVANE_E_POINTER;
    *classObject = nullptr;
    if (!classIdOrName)
        return ORVANE_E_POINTER;
    if (ClassObject *found = ClassObject::find(QString::fromUtf8(classIdOrName)))
        *classObject = found->handle();
    return *classObject ? ORVANE_S_OK : ORVANE_E_CLASSNOTAVAILABLE;
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
