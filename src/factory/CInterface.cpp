// The C interface over the objects of the class factory: properties and
// methods by name through the meta-object system, events to C callbacks.
// No exception crosses it: a fault is logged and reported as ORVANE_E_FAIL.
#include <orvane/ComponentLibrary.h>
#include <orvane/OVHTTPClient.h>
#include <orvane/orvane.h>

#include "factory/CValues.h"
#include "factory/EventRelay.h"
#include "factory/HostApplication.h"
#include "support/ErrorHandler.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QThread>

#include <array>
#include <cstdlib>

using namespace orvane;

namespace {
constexpr int kMaxArguments = 10;

// Runs one call of the interface guarded: a fault becomes ORVANE_E_FAIL.
template <typename F>
int guardedCall(const char *source, F &&f)
{
    int result = ORVANE_E_FAIL;
    guarded(QString::fromLatin1(source), [&] { result = f(); });
    return result;
}

// The object behind a handle, reached only from the thread it lives on (the
// host's UI thread): a call from another thread is refused, never run.
int reach(OrvaneObject *handle, QObject **object)
{
    *object = handle && !handle->released ? handle->object.data() : nullptr;
    if (!*object)
        return ORVANE_E_POINTER;
    return (*object)->thread() == QThread::currentThread() ? int(ORVANE_S_OK) : int(ORVANE_E_WRONGTHREAD);
}

// The public method (or signal, for events) of that name taking argCount
// arguments; the most derived class's wins.
QMetaMethod findMethod(const QObject *object, const char *name, int argCount, bool signal)
{
    const QMetaObject *meta = object->metaObject();
    for (int i = meta->methodCount() - 1; i >= 0; --i) {
        const QMetaMethod method = meta->method(i);
        const bool isSignal = method.methodType() == QMetaMethod::Signal;
        if (isSignal != signal || method.access() != QMetaMethod::Public || method.name() != name)
            continue;
        if (argCount < 0 || method.parameterCount() == argCount)
            return method;
    }
    return QMetaMethod();
}

int invoke(QObject *object, const QMetaMethod &method, const OrvaneValue *args, int argCount, OrvaneValue *result)
{
    std::array<QVariant, kMaxArguments> values;
    std::array<QByteArray, kMaxArguments> typeNames;
    std::array<QGenericArgument, kMaxArguments> generic;
    for (int i = 0; i < argCount; ++i) {
        auto value = CValues::toVariant(args[i], method.parameterMetaType(i));
        if (!value)
            return ORVANE_E_INVALIDARG;
        values[size_t(i)] = std::move(*value);
        typeNames[size_t(i)] = method.parameterTypeName(i);
        generic[size_t(i)] = QGenericArgument(typeNames[size_t(i)].constData(), values[size_t(i)].constData());
    }
    const QMetaType returnType = method.returnMetaType();
    const bool returns = returnType.isValid() && returnType.id() != QMetaType::Void;
    QVariant returned = returns ? QVariant(returnType) : QVariant();
    const bool ok = method.invoke(object, Qt::DirectConnection,
        returns ? QGenericReturnArgument(method.typeName(), returned.data()) : QGenericReturnArgument(), generic[0],
        generic[1], generic[2], generic[3], generic[4], generic[5], generic[6], generic[7], generic[8], generic[9]);
    if (!ok)
        return ORVANE_E_FAIL;
    if (!result)
        return ORVANE_S_OK;
    return CValues::fromVariant(returned, result);
}

OrvaneObject *wrap(QObject *object)
{
    auto *handle = new OrvaneObject;
    handle->object = object;
    handle->className = object->metaObject()->className();
    return handle;
}
} // namespace

extern "C" {

void OrvaneValueClear(OrvaneValue *value)
{
    if (!value)
        return;
    std::free(const_cast<char *>(value->text));
    std::free(const_cast<unsigned char *>(value->bytes));
    *value = OrvaneValue {};
}

int OrvaneCreateInstance(OrvaneClassObject *classObject, OrvaneObject **object)
{
    if (!object)
        return ORVANE_E_POINTER;
    *object = nullptr;
    if (!classObject)
        return ORVANE_E_POINTER;
    const QCoreApplication *application = QCoreApplication::instance();
    if (application && application->thread() != QThread::currentThread())
        return ORVANE_E_WRONGTHREAD;
    return guardedCall("Orvane.CreateInstance", [&]() -> int {
        HostApplication::ensure();
        QObject *created = ClassFactory::fromHandle(classObject)->createInstance(nullptr);
        if (!created)
            return ORVANE_E_FAIL;
        *object = wrap(created);
        return ORVANE_S_OK;
    });
}

int OrvaneLockServer(OrvaneClassObject *classObject, int lock)
{
    if (!classObject)
        return ORVANE_E_POINTER;
    ClassFactory::fromHandle(classObject)->lockServer(lock != 0);
    return ORVANE_S_OK;
}

int OrvaneCreateObject(const char *classIdOrName, OrvaneObject **object)
{
    if (!object)
        return ORVANE_E_POINTER;
    *object = nullptr;
    OrvaneClassObject *classObject = nullptr;
    const int found = OrvaneGetClassObject(classIdOrName, &classObject);
    return found == ORVANE_S_OK ? OrvaneCreateInstance(classObject, object) : found;
}

void OrvaneRelease(OrvaneObject *object)
{
    if (!object || object->released)
        return;
    if (object->object && object->object->thread() != QThread::currentThread())
        return; // only its own thread may end it
    object->released = true;
    guarded(QStringLiteral("Orvane.Release"), [&] {
        for (EventRelay *relay : object->relays)
            QObject::disconnect(object->object, nullptr, relay, nullptr);
        if (object->callbackDepth > 0) {
            // Inside one of its own events: it ends once the event has returned.
            if (object->object)
                object->object->deleteLater();
            return;
        }
        delete object->object.data();
    });
    if (object->callbackDepth == 0)
        EventRelay::finishRelease(object);
}

const char *OrvaneClassName(const OrvaneObject *object)
{
    return object ? object->className.constData() : nullptr;
}

int OrvaneGetProperty(OrvaneObject *object, const char *name, OrvaneValue *value)
{
    if (!value)
        return ORVANE_E_POINTER;
    *value = OrvaneValue {};
    QObject *o = nullptr;
    if (const int reached = reach(object, &o); reached != ORVANE_S_OK)
        return reached;
    if (!name)
        return ORVANE_E_POINTER;
    return guardedCall("Orvane.GetProperty", [&]() -> int {
        const int index = o->metaObject()->indexOfProperty(name);
        if (index < 0)
            return ORVANE_E_INVALIDARG;
        return CValues::fromVariant(o->metaObject()->property(index).read(o), value);
    });
}

int OrvaneSetProperty(OrvaneObject *object, const char *name, const OrvaneValue *value)
{
    QObject *o = nullptr;
    if (const int reached = reach(object, &o); reached != ORVANE_S_OK)
        return reached;
    if (!name || !value)
        return ORVANE_E_POINTER;
    return guardedCall("Orvane.SetProperty", [&]() -> int {
        const int index = o->metaObject()->indexOfProperty(name);
        if (index < 0)
            return ORVANE_E_INVALIDARG;
        const QMetaProperty property = o->metaObject()->property(index);
        const auto converted = CValues::toVariant(*value, property.metaType());
        if (!property.isWritable() || !converted)
            return ORVANE_E_INVALIDARG;
        return property.write(o, *converted) ? ORVANE_S_OK : ORVANE_E_INVALIDARG;
    });
}

int OrvaneCall(OrvaneObject *object, const char *method, const OrvaneValue *args, int argCount, OrvaneValue *result)
{
    if (result)
        *result = OrvaneValue {};
    QObject *o = nullptr;
    if (const int reached = reach(object, &o); reached != ORVANE_S_OK)
        return reached;
    if (!method || (argCount > 0 && !args))
        return ORVANE_E_POINTER;
    if (argCount < 0 || argCount > kMaxArguments)
        return ORVANE_E_INVALIDARG;
    return guardedCall("Orvane.Call", [&]() -> int {
        const QMetaMethod found = findMethod(o, method, argCount, false);
        if (!found.isValid())
            return ORVANE_E_INVALIDARG;
        return invoke(o, found, args, argCount, result);
    });
}

int OrvaneGetInt(OrvaneObject *object, const char *name, int32_t *value)
{
    if (!value)
        return ORVANE_E_POINTER;
    OrvaneValue read {};
    int rc = OrvaneGetProperty(object, name, &read);
    if (rc == ORVANE_S_OK && read.type != ORVANE_TYPE_INT && read.type != ORVANE_TYPE_BOOL)
        rc = ORVANE_E_INVALIDARG;
    if (rc == ORVANE_S_OK)
        *value = read.i;
    OrvaneValueClear(&read);
    return rc;
}

int OrvaneSetInt(OrvaneObject *object, const char *name, int32_t value)
{
    OrvaneValue v {};
    v.type = ORVANE_TYPE_INT;
    v.i = value;
    return OrvaneSetProperty(object, name, &v);
}

int OrvaneGetText(OrvaneObject *object, const char *name, char **text)
{
    if (!text)
        return ORVANE_E_POINTER;
    *text = nullptr;
    OrvaneValue read {};
    int rc = OrvaneGetProperty(object, name, &read);
    if (rc == ORVANE_S_OK && read.type != ORVANE_TYPE_TEXT)
        rc = ORVANE_E_INVALIDARG;
    if (rc == ORVANE_S_OK) {
        *text = const_cast<char *>(read.text);
        read.text = nullptr;
    }
    OrvaneValueClear(&read);
    return rc;
}

int OrvaneSetText(OrvaneObject *object, const char *name, const char *text)
{
    OrvaneValue v {};
    v.type = ORVANE_TYPE_TEXT;
    v.text = text;
    return OrvaneSetProperty(object, name, &v);
}

int OrvaneSetBool(OrvaneObject *object, const char *name, int value)
{
    OrvaneValue v {};
    v.type = ORVANE_TYPE_BOOL;
    v.i = value != 0;
    return OrvaneSetProperty(object, name, &v);
}

int OrvaneCallInt(OrvaneObject *object, const char *method, int32_t *result)
{
    if (!result)
        return ORVANE_E_POINTER;
    OrvaneValue returned {};
    int rc = OrvaneCall(object, method, nullptr, 0, &returned);
    if (rc == ORVANE_S_OK && returned.type != ORVANE_TYPE_INT)
        rc = ORVANE_E_INVALIDARG;
    if (rc == ORVANE_S_OK)
        *result = returned.i;
    OrvaneValueClear(&returned);
    return rc;
}

void OrvaneFree(void *memory)
{
    std::free(memory);
}

int OrvaneGetIncomingAd(OrvaneObject *client, int16_t index, OrvaneIncomingAd *ad)
{
    if (!ad)
        return ORVANE_E_POINTER;
    *ad = OrvaneIncomingAd {};
    QObject *o = nullptr;
    if (const int reached = reach(client, &o); reached != ORVANE_S_OK)
        return reached;
    auto *c = qobject_cast<exchange::OVHTTPClient *>(o);
    if (!c)
        return ORVANE_E_INVALIDARG;
    return guardedCall("Orvane.GetIncomingAd", [&]() -> int {
        const TYPE_INCOMINGAD record = c->IncomingAd(index);
        ad->AdGUID = CValues::newText(record.AdGUID);
        ad->AdvertiserGUID = CValues::newText(record.AdvertiserGUID);
        ad->AdvertiserName = CValues::newText(record.AdvertiserName);
        ad->ExpirationDate = record.ExpirationDate;
        ad->Size = record.Size;
        ad->Rating = record.Rating;
        ad->ImageFormat = record.ImageFormat;
        ad->ClickURL = CValues::newText(record.ClickURL);
        ad->ImageFileName = CValues::newText(record.ImageFileName);
        return ORVANE_S_OK;
    });
}

void OrvaneIncomingAdClear(OrvaneIncomingAd *ad)
{
    if (!ad)
        return;
    for (char *text : {ad->AdGUID, ad->AdvertiserGUID, ad->AdvertiserName, ad->ClickURL, ad->ImageFileName})
        std::free(text);
    *ad = OrvaneIncomingAd {};
}

int OrvaneConnect(OrvaneObject *object, const char *event, OrvaneEventCallback callback, void *userData)
{
    QObject *o = nullptr;
    if (const int reached = reach(object, &o); reached != ORVANE_S_OK)
        return reached;
    if (!event || !callback)
        return ORVANE_E_POINTER;
    return guardedCall("Orvane.Connect", [&]() -> int {
        const QMetaMethod signal = findMethod(o, event, -1, true);
        if (!signal.isValid())
            return ORVANE_E_INVALIDARG;
        auto *relay = new EventRelay(object, signal, callback, userData);
        if (!relay->connectSignal()) {
            delete relay;
            return ORVANE_E_INVALIDARG;
        }
        object->relays.push_back(relay);
        return ORVANE_S_OK;
    });
}

int OrvaneDisconnect(OrvaneObject *object, const char *event, OrvaneEventCallback callback, void *userData)
{
    QObject *o = nullptr;
    if (const int reached = reach(object, &o); reached != ORVANE_S_OK)
        return reached;
    if (!event || !callback)
        return ORVANE_E_POINTER;
    auto &relays = object->relays;
    for (auto it = relays.begin(); it != relays.end(); ++it) {
        if ((*it)->matches(event, callback, userData)) {
            QObject::disconnect(object->object, nullptr, *it, nullptr);
            // It may be the relay running the host's callback right now.
            (*it)->deleteLater();
            relays.erase(it);
            return ORVANE_S_OK;
        }
    }
    return ORVANE_S_FALSE;
}

} // extern "C"
