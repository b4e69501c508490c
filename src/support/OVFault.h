#pragma once

#include <QString>

#include <cstdint>
#include <exception>

namespace orvane {

// The numbers the system uses for failures caught inside an operation.
enum FaultNumber : int32_t {
    FaultInvalidCall = 5,
    FaultOverflow = 6,
    FaultOutOfMemory = 7,
    FaultIndexOutOfRange = 9,
    FaultTypeMismatch = 13,
    FaultBadFileNameOrNumber = 52,
    FaultFileNotFound = 53,
    FaultFileAlreadyOpen = 55,
    FaultDeviceIO = 57,
    FaultDiskFull = 61,
    FaultInputPastEnd = 62,
    FaultPermissionDenied = 70,
    FaultPathFileAccess = 75,
    FaultPathNotFound = 76,
    FaultObjectNotSet = 91,
    FaultDuplicateKey = 457,
    FaultInternal = 51,
};

// One caught failure: its number and description. Operations throw it; their
// handlers catch it and hand it to OVSimpleLog::LogError.
class OVFault : public std::exception
{
public:
    explicit OVFault(int32_t number, QString description = QString());

    int32_t number() const noexcept { return m_number; }
    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_what.constData(); }

    static QString standardDescription(int32_t number);

private:
    int32_t m_number;
    QString m_description;
    QByteArray m_what;
};

[[noreturn]] void raiseFault(int32_t number, const QString &description = QString());

} // namespace orvane
