#pragma once

#include <orvane/ComponentLibrary.h>

#include <functional>

namespace orvane {

// The class object of one class the library hands out. It counts the objects
// it made while they live, and the server locks, for OrvaneCanUnloadNow.
class ClassObject final : public ClassFactory
{
public:
    using Create = std::function<QObject *(QObject *parent)>;
    ClassObject(QString classId, QString className, Create create);

    QString classId() const override { return m_classId; }
    QString className() const override { return m_className; }
    QObject *createInstance(QObject *parent = nullptr) override;
    void lockServer(bool lock) override;

    // The class object for a class id (any letter case) or class name; nullptr if unknown.
    static ClassObject *find(const QString &classIdOrName);
    static const QList<ClassObject *> &all();
    static bool inUse();

private:
    QString m_classId;
    QString m_className;
    Create m_create;
};

} // namespace orvane
