#pragma once

#include <orvane/ClassIds.h>

#include <QLibrary>
#include <QObject>
#include <QString>

// The class factory of libOrvane: four C-callable entry points that a host
// which did not link the library finds with dlopen (or QLibrary) and calls.
// Objects come back as QObject: their properties, methods (Q_INVOKABLE) and
// signals are reached through the meta-object system.

namespace orvane {

// The class object of one class.
class ClassFactory
{
public:
    virtual QString classId() const = 0;
    virtual QString className() const = 0;
    // A new instance, counted until it is destroyed; nullptr on failure.
    virtual QObject *createInstance(QObject *parent = nullptr) = 0;
    // A locked server stays loaded without live objects.
    virtual void lockServer(bool lock) = 0;

protected:
    ~ClassFactory() = default; // owned by the library
};

} // namespace orvane

enum OrvaneFactoryResult : int {
    ORVANE_S_OK = 0,
    ORVANE_S_FALSE = 1, // OrvaneCanUnloadNow: objects or locks are alive
    ORVANE_E_FAIL = -1,
    ORVANE_E_CLASSNOTAVAILABLE = -2,
    ORVANE_E_POINTER = -3,
};

extern "C" {
// The class object for a class identifier ("{...}") or a class name.
Q_DECL_EXPORT int OrvaneGetClassObject(const char *classIdOrName, orvane::ClassFactory **factory);
// ORVANE_S_OK when no object handed out by a class object lives and no lock is held.
Q_DECL_EXPORT int OrvaneCanUnloadNow();
// Records both classes and this library's path in the user's class registry
// ($XDG_DATA_HOME/Orvane/classes.ini) and links the Designer plugin into the
// user's Designer plugin folder (~/.designer/plugins).
Q_DECL_EXPORT int OrvaneRegisterServer();
// Removes exactly what OrvaneRegisterServer recorded for this library.
Q_DECL_EXPORT int OrvaneUnregisterServer();
}

namespace orvane {

// A host's handle on the library loaded at run time.
class ComponentLibrary
{
public:
    explicit ComponentLibrary(const QString &fileName)
        : m_library(fileName)
    {
    }

    bool load()
    {
        if (!m_library.load())
            return false;
        m_get = reinterpret_cast<decltype(m_get)>(m_library.resolve("OrvaneGetClassObject"));
        m_canUnload = reinterpret_cast<decltype(m_canUnload)>(m_library.resolve("OrvaneCanUnloadNow"));
        return m_get && m_canUnload;
    }
    QString errorString() const { return m_library.errorString(); }

    ClassFactory *classObject(const QString &classIdOrName) const
    {
        ClassFactory *factory = nullptr;
        return m_get && m_get(classIdOrName.toUtf8().constData(), &factory) == ORVANE_S_OK ? factory : nullptr;
    }
    QObject *createInstance(const QString &classIdOrName, QObject *parent = nullptr) const
    {
        ClassFactory *factory = classObject(classIdOrName);
        return factory ? factory->createInstance(parent) : nullptr;
    }
    bool canUnloadNow() const { return m_canUnload && m_canUnload() == ORVANE_S_OK; }
    // Unloads only when the library allows it.
    bool unload() { return canUnloadNow() && m_library.unload(); }

    template <typename F>
    F resolve(const char *symbol)
    {
        return reinterpret_cast<F>(m_library.resolve(symbol));
    }

private:
    QLibrary m_library;
    int (*m_get)(const char *, ClassFactory **) = nullptr;
    int (*m_canUnload)() = nullptr;
};

} // namespace orvane
