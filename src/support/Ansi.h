#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The single-byte code page of the system's texts on the wire and in files:
// Windows-1252.
namespace orvane::Ansi {

// The byte of one character, or nothing when the code page has no such character.
std::optional<unsigned char> fromChar(QChar c) noexcept;
QChar toChar(unsigned char byte) noexcept;

// Lossy conversions for logs and files: unmapped characters become '?'.
QByteArray encode(const QString &text);
QString decode(const QByteArray &bytes);

} // namespace orvane::Ansi
