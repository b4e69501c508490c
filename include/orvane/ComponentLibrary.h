#pragma once

#include <orvane/ClassIds.h>
#include <orvane/orvane_export.h>

#include <orvane/orvane.h>

#include <QLibrary>
#include <QObject>
#include <QString>

namespace orvane {

/// The class object of one class of the library, as a C++ host sees the
/// OrvaneClassObject handle of OrvaneGetClassObject.
class ORVANE_EXPORT ClassFactory
{
public:
    /// The class identifier, "{...}".
    virtual QString classId() const = 0;
    /// The class name, as "Orvane.Orvane".
    virtual QString className() const = 0;
    /// A new instance, counted until it is destroyed; nullptr on failure.
    virtual QObject *createInstance(QObject *parent = nullptr) = 0;
    /// A locked server stays loaded without live objects.
    virtual void lockServer(bool lock) = 0;

    /// The class object behind a handle of the C interface.
    static ClassFactory *fromHandle(OrvaneClassObject *handle) { return reinterpret_cast<ClassFactory *>(handle); }
    /// The handle of the C interface for this class object.
    OrvaneClassObject *handle() { return reinterpret_cast<OrvaneClassObject *>(this); }

protected:
    ~ClassFactory() = default; // owned by the library
};

/// A C++ host's handle on the library loaded at run time (dlopen): objects
/// come back as QObject, their properties, methods (Q_INVOKABLE) and signals
/// reached through the meta-object system.
class ComponentLibrary
{
public:
    /// The library file, as QLibrary takes it ("libOrvane.so.1", or a path).
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
    /// Why the library could not be loaded.
    QString errorString() const { return m_library.errorString(); }

    /// The class object for a class identifier or name; nullptr if unknown.
    ClassFactory *classObject(const QString &classIdOrName) const
    {
        OrvaneClassObject *handle = nullptr;
        return m_get && m_get(classIdOrName.toUtf8().constData(), &handle) == ORVANE_S_OK
            ? ClassFactory::fromHandle(handle)
            : nullptr;
    }
    /// A new object of the class; nullptr on failure.
    QObject *createInstance(const QString &classIdOrName, QObject *parent = nullptr) const
    {
        ClassFactory *factory = classObject(classIdOrName);
        return factory ? factory->createInstance(parent) : nullptr;
    }
    /// True when no object handed out lives and no lock is held.
    bool canUnloadNow() const { return m_canUnload && m_canUnload() == ORVANE_S_OK; }
    /// Unloads only when the library allows it.
    bool unload() { return canUnloadNow() && m_library.unload(); }

    /// Another exported function of the library, as a function pointer of type F.
    template <typename F>
    F resolve(const char *symbol)
    {
        return reinterpret_cast<F>(m_library.resolve(symbol));
    }

private:
    QLibrary m_library;
    int (*m_get)(const char *, OrvaneClassObject **) = nullptr;
    int (*m_canUnload)() = nullptr;
};

} // namespace orvane
