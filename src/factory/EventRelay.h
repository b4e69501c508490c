#pragma once

#include <orvane/orvane.h>

#include <QByteArray>
#include <QMetaMethod>
#include <QObject>
#include <QPointer>

#include <vector>

namespace orvane {
class EventRelay;
}

// The handle of an object handed to a C host: the object, and the relays
// that carry its events to the host's callbacks.
struct OrvaneObject
{
    QPointer<QObject> object;
    QByteArray className;
    std::vector<orvane::EventRelay *> relays;
    // How deep the host is inside callbacks of this object: a release there
    // waits until the outermost returns.
    int callbackDepth = 0;
    bool released = false;
};

namespace orvane {

// Carries one signal of an object to one C callback. Signals with no
// argument, one boolean or one text are relayed (every event of the
// library's classes is one of those).
class EventRelay : public QObject
{
    Q_OBJECT

public:
    EventRelay(OrvaneObject *handle, const QMetaMethod &signal, OrvaneEventCallback callback, void *userData);

    // Connects the signal to the slot matching its arguments; false when none does.
    bool connectSignal();
    bool matches(const QByteArray &event, OrvaneEventCallback callback, void *userData) const
    {
        return event == m_event && callback == m_callback && userData == m_userData;
    }
    // Frees the handle once the host has left its outermost callback of it.
    static void finishRelease(OrvaneObject *handle);

private Q_SLOTS:
    void relayNone();
    void relayBool(bool value);
    void relayText(const QString &value);

private:
    void relay(const OrvaneValue *args, int count);

    OrvaneObject *m_handle;
    QMetaMethod m_signal;
    QByteArray m_event;
    OrvaneEventCallback m_callback;
    void *m_userData;
};

} // namespace orvane
