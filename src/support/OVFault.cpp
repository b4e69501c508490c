#include "support/OVFault.h"

namespace orvane {

OVFault::OVFault(int32_t number, QString description)
    : m_number(number)
    , m_description(description.isEmpty() ? standardDescription(number) : std::move(description))
    , m_what(QString::number(number).append(u' ').append(m_description).toUtf8())
{
}

QString OVFault::standardDescription(int32_t number)
{
    switch (number) {
    case FaultInvalidCall: return QStringLiteral("Invalid procedure call or argument");
    case FaultOverflow: return QStringLiteral("Overflow");
    case FaultOutOfMemory: return QStringLiteral("Out of memory");
    case FaultIndexOutOfRange: return QStringLiteral("Subscript out of range");
    case FaultTypeMismatch: return QStringLiteral("Type mismatch");
    case FaultInternal: return QStringLiteral("Internal error");
    case FaultBadFileNameOrNumber: return QStringLiteral("Bad file name or number");
    case FaultFileNotFound: return QStringLiteral("File not found");
    case FaultFileAlreadyOpen: return QStringLiteral("File already open");
    case FaultDeviceIO: return QStringLiteral("Device I/O error");
    case FaultDiskFull: return QStringLiteral("Disk full");
    case FaultInputPastEnd: return QStringLiteral("Input past end of file");
    case FaultPermissionDenied: return QStringLiteral("Permission denied");
    case FaultPathFileAccess: return QStringLiteral("Path/File access error");
    case FaultPathNotFound: return QStringLiteral("Path not found");
    case FaultObjectNotSet: return QStringLiteral("Object variable or With block variable not set");
    case FaultDuplicateKey: return QStringLiteral("This key is already associated with an element of this collection");
    default: return QStringLiteral("Application-defined or object-defined error");
    }
}

void raiseFault(int32_t number, const QString &description)
{
    throw OVFault(number, description);
}

} // namespace orvane
