#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// Byte-buffer helpers and the scrambling pair of the local data file. Buffers
// are QByteArray indexed from 0; the scrambling handles any length.
namespace orvane::OVHelperFunctions {

QByteArray EncryptByteArray(const QByteArray &data, const QByteArray &key, const QByteArray &chainingVector);
QByteArray DecryptByteArray(const QByteArray &data, const QByteArray &key, const QByteArray &chainingVector);

// Replaces destination by `length` bytes of source from `start` (all the rest
// when no length is given). Always true.
bool CopyByteArray(
    const QByteArray &source, QByteArray &destination, qsizetype start, std::optional<qsizetype> length = std::nullopt);
// Appends source to destination. Always true.
bool ConcatenateByteArrays(QByteArray &destination, const QByteArray &source);

// One byte per character in the ANSI code page. Throws OVFault for an empty
// text (9) or a character the code page does not have (5).
QByteArray StringToByteArray(const QString &text);

QString FileNameFromPath(const QString &path);

inline uint8_t AddBytesMod256(uint8_t a, uint8_t b)
{
    return static_cast<uint8_t>((a + b) & 0xFF);
}

} // namespace orvane::OVHelperFunctions
