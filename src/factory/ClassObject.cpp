#include "factory/ClassObject.h"

#include <orvane/OVHTTPClient.h>
#include <orvane/Orvane.h>
#include <orvane/PropertyBagObject.h>

#include "support/ErrorHandler.h"

#include <atomic>

namespace orvane {

namespace {
std::atomic<int> s_liveObjects {0};
std::atomic<int> s_locks {0};
} // namespace

ClassObject::ClassObject(QString classId, QString className, Create create)
    : m_classId(std::move(classId))
    , m_className(std::move(className))
    , m_create(std::move(create))
{
}

QObject *ClassObject::createInstance(QObject *parent)
{
    QObject *object = nullptr;
    guarded(QStringLiteral("ClassFactory.CreateInstance"), [&] { object = m_create(parent); });
    if (object) {
        ++s_liveObjects;
        QObject::connect(object, &QObject::destroyed, [] { --s_liveObjects; });
    }
    return object;
}

void ClassObject::lockServer(bool lock)
{
    if (lock)
        ++s_locks;
    else if (s_locks > 0)
        --s_locks;
}

const QList<ClassObject *> &ClassObject::all()
{
    // Published by name, for hosts that reach the library through the factory
    // (QMetaType::fromName("orvane::OrvAgeRange")).
    static const bool published = [] {
        qRegisterMetaType<OrvRating>();
        qRegisterMetaType<OrvAgeRange>();
        qRegisterMetaType<ResultCode>();
        return true;
    }();
    Q_UNUSED(published);
    static ClassObject control(QString::fromLatin1(ClassIds::Orvane), QString::fromLatin1(ClassIds::OrvaneName),
        [](QObject *parent) { return new Orvane(nullptr, parent); });
    static ClassObject client(QString::fromLatin1(ClassIds::OVHTTPClient),
        QString::fromLatin1(ClassIds::OVHTTPClientName),
        [](QObject *parent) { return new exchange::OVHTTPClient(parent); });
    static ClassObject bag(QString::fromLatin1(ClassIds::PropertyBag), QString::fromLatin1(ClassIds::PropertyBagName),
        [](QObject *parent) { return new PropertyBagObject(parent); });
    static const QList<ClassObject *> classes {&control, &client, &bag};
    return classes;
}

ClassObject *ClassObject::find(const QString &classIdOrName)
{
    for (ClassObject *c : all()) {
        if (c->classId().compare(classIdOrName, Qt::CaseInsensitive) == 0 || c->className() == classIdOrName)
            return c;
    }
    return nullptr;
}

bool ClassObject::inUse()
{
    return s_liveObjects > 0 || s_locks > 0;
}

} // namespace orvane
