#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

namespace orvane {

// The byte image of the local ad data file: a 36-byte header (version, masked
// key, chaining vector, record count) and the scrambled state texts.
namespace OVAdDataFile {

inline const QString kDataFileName = QStringLiteral("OVImage.dat");
inline const QString kBackupFileName = QStringLiteral("OVImage.bak");
// Locked while a process reports the folder's counts.
inline const QString kLockFileName = QStringLiteral(".OVImage.lock");
constexpr int16_t kFormatVersion = 3;
constexpr int kHeaderBytes = 36;
constexpr int kKeyBytes = 16; // drawn and written
constexpr int kUsedKeyBytes = 15; // key the scrambling
constexpr int kRecordBytes = 464; // one state text as bytes

// Draws the key and vector from the process's generator: 16 pairs, each one
// byte of the key and then one of the vector, every byte in 1..255.
void drawKeyAndVector(QByteArray &key, QByteArray &vector);

// The 36-byte header for `count` records under key and vector (16 bytes each).
QByteArray header(int16_t count, const QByteArray &key, const QByteArray &vector);

// From a whole header: the key and vector the scrambling uses (15 bytes
// each), and the record count.
void readKeyAndVector(const QByteArray &head, QByteArray &key, QByteArray &vector);
int16_t recordCount(const QByteArray &head);

// A state text as bytes (low byte first) and back (an odd last byte gets a
// zero high byte).
QByteArray textToBytes(const QString &text);
QString bytesToText(const QByteArray &bytes);

} // namespace OVAdDataFile
} // namespace orvane
