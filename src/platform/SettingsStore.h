#pragma once

#include <QString>
#include <QVariant>

namespace orvane::platform {

// The current user's settings store: one INI file,
// $XDG_CONFIG_HOME/Quintrel/Orvane.ini (default ~/.config/Quintrel/Orvane.ini).
// A key path such as "SOFTWARE\Quintrel\Orvane\Debug" is the section [Debug];
// other key paths become nested groups. Every operation opens the file and
// syncs it before returning, so several processes share it safely. Only a
// regular file of at most 1 MiB is read or written: anything else in its
// place (a FIFO, a device, a link to one, a huge file) reads as an empty
// store, is never written, and is reported through takeRefusal().
class SettingsStore
{
public:
    enum class ValueType { Missing, Text, Number, Other };

    struct Value
    {
        ValueType type = ValueType::Missing;
        QString text; // for Text
        qint32 number = 0; // for Number
    };

    static QString filePath();

    static bool keyExists(const QString &keyPath);
    static void createKey(const QString &keyPath);
    static Value read(const QString &keyPath, const QString &name);
    // Writes into an existing key only; false when the key is missing or the
    // store cannot be written.
    static bool writeText(const QString &keyPath, const QString &name, const QString &text);
    static bool writeNumber(const QString &keyPath, const QString &name, qint32 number);

    // Why the file was last refused, once; empty when nothing new was refused.
    static QString takeRefusal();
};

} // namespace orvane::platform
