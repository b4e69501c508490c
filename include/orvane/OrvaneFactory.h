#pragma once

#include <orvane/ClassIds.h>
#include <orvane/orvane_export.h>

#include <QLibrary>
#include <QObject>
#include <QString>

/// @file
/// The class factory of libOrvane: four C-callable entry points that a host
/// which did not link the library finds with dlopen (or QLibrary) and calls.
/// Objects come back as QObject: their properties, methods (Q_INVOKABLE) and
/// signals are reached through the meta-object system.

namespace orvane {

/// The class object of one class.
class ORVANE_EXPORT ClassFactory
{
public:
    /// The class identifier ("{...}", see ClassIds).
    virtual QString classId() const = 0;
    /// The class name ("Orvane.Orvane" or "Orvane.OVHTTPClient").
    virtual QString className() const = 0;
    /// A new instance, counted until it is destroyed; nullptr on failure.
    virtual QObject *createInstance(QObject *parent = nullptr) = 0;
    /// Locks (or unlocks) the server: a locked server stays loaded without
    /// live objects.
    virtual void lockServer(bool lock) = 0;

protected:
    /// Owned by the library: a host never deletes a class object.
    ~ClassFactory() = default;
};

} // namespace orvane

/// The results of the entry points.
enum OrvaneFactoryResult : int {
    ORVANE_S_OK = 0, ///< Success.
    ORVANE_S_FALSE = 1, ///< OrvaneCanUnloadNow: objects or locks are alive.
    ORVANE_E_FAIL = -1, ///< The operation failed.
    ORVANE_E_CLASSNOTAVAILABLE = -2, ///< No class has that identifier or name.
    ORVANE_E_POINTER = -3, ///< A null pointer was passed.
};

extern "C" {
/// Gives in @p factory the class object for a class identifier ("{...}") or a
/// class name.
ORVANE_EXPORT int OrvaneGetClassObject(const char *classIdOrName, orvane::ClassFactory **factory);
/// ORVANE_S_OK when no object handed out by a class object lives and no lock is held.
ORVANE_EXPORT int OrvaneCanUnloadNow();
/// Records both classes and this library's path in the user's class registry
/// ($XDG_DATA_HOME/Orvane/classes.ini) and links the Designer plugin into the
/// user's Designer plugin folder (~/.designer/plugins).
ORVANE_EXPORT int OrvaneRegisterServer();
/// Removes exactly what OrvaneRegisterServer recorded for this library.
ORVANE_EXPORT int OrvaneUnregisterServer();
}

namespace orvane {

/// A host's handle on the library loaded at run time (header-only: it is
/// compiled into the host).
class ComponentLibrary
{
public:
    /// A handle on the library file @p fileName, not loaded yet.
    explicit ComponentLibrary(const QString &fileName)
        : m_library(fileName)
    {
    }

    /// Loads the library and finds its entry points; false when either fails.
    bool load()
    {
        if (!m_library.load())
            return false;
        m_get = reinterpret_cast<decltype(m_get)>(m_library.resolve("OrvaneGetClassObject"));
        m_canUnload = reinterpret_cast<decltype(m_canUnload)>(m_library.resolve("OrvaneCanUnloadNow"));
        return m_get && m_canUnload;
    }
    /// Why the last load or unload failed.
    QString errorString() const { return m_library.errorString(); }

    /// The class object of a class identifier or name; nullptr when unknown.
    ClassFactory *classObject(const QString &classIdOrName) const
    {
        ClassFactory *factory = nullptr;
        return m_get && m_get(classIdOrName.toUtf8().constData(), &factory) == ORVANE_S_OK ? factory : nullptr;
    }
    /// A new object of a class identifier or name; nullptr on failure.
    QObject *createInstance(const QString &classIdOrName, QObject *parent = nullptr) const
    {
        ClassFactory *factory = classObject(classIdOrName);
        return factory ? factory->createInstance(parent) : nullptr;
    }
    /// True when the library has no live objects and no lock.
    bool canUnloadNow() const { return m_canUnload && m_canUnload() == ORVANE_S_OK; }
    /// Unloads the library, only when it allows it.
    bool unload() { return canUnloadNow() && m_library.unload(); }

    /// The address of the exported @p symbol, as the function type F.
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
