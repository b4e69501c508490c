#include "factory/EventRelay.h"

#include "factory/CValues.h"
#include "support/ErrorHandler.h"

#include <cstdlib>

namespace orvane {

EventRelay::EventRelay(OrvaneObject *handle, const QMetaMethod &signal, OrvaneEventCallback callback, void *userData)
    : m_handle(handle)
    , m_signal(signal)
    , m_event(signal.name())
    , m_callback(callback)
    , m_userData(userData)
{
}

bool EventRelay::connectSignal()
{
    const char *slot = nullptr;
    if (m_signal.parameterCount() == 0)
        slot = "relayNone()";
    else if (m_signal.parameterCount() == 1 && m_signal.parameterType(0) == QMetaType::Bool)
        slot = "relayBool(bool)";
    else if (m_signal.parameterCount() == 1 && m_signal.parameterType(0) == QMetaType::QString)
        slot = "relayText(QString)";
    if (!slot || !m_handle->object)
        return false;
    const QMetaMethod target = metaObject()->method(metaObject()->indexOfSlot(slot));
    return bool(QObject::connect(m_handle->object, m_signal, this, target, Qt::DirectConnection));
}

void EventRelay::relayNone()
{
    relay(nullptr, 0);
}

void EventRelay::relayBool(bool value)
{
    OrvaneValue arg {};
    arg.type = ORVANE_TYPE_BOOL;
    arg.i = value ? 1 : 0;
    relay(&arg, 1);
}

void EventRelay::relayText(const QString &value)
{
    const QByteArray utf8 = value.toUtf8();
    OrvaneValue arg {};
    arg.type = ORVANE_TYPE_TEXT;
    arg.text = utf8.constData();
    relay(&arg, 1);
}

void EventRelay::relay(const OrvaneValue *args, int count)
{
    OrvaneObject *handle = m_handle;
    if (handle->released)
        return;
    ++handle->callbackDepth;
    m_callback(handle, m_event.constData(), args, count, m_userData);
    // The host may have released the object in its callback; this relay then
    // goes later and must not be touched after the handle is freed.
    if (--handle->callbackDepth == 0 && handle->released)
        finishRelease(handle);
}

void EventRelay::finishRelease(OrvaneObject *handle)
{
    for (EventRelay *relay : handle->relays)
        relay->deleteLater();
    delete handle;
}

} // namespace orvane
