#include "catalogue/OVAdDataFile.h"

#include "platform/RandomSource.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace orvane::OVAdDataFile {

namespace {
// Where the header's fields start.
constexpr int kMaskedKeyAt = 2;
constexpr int kVectorAt = 18;
constexpr int kCountAt = 34;

char drawByte(platform::RandomSource &random)
{
    // The integer part of 255 r + 1: 1..255, never 0 (clamped for an r that
    // rounds up to the top of the range).
    const double value = std::floor(255.0 * random.next() + 1.0);
    return char(value >= 255.0 ? 255 : value >= 1.0 ? int(value) : 1);
}
} // namespace

void drawKeyAndVector(QByteArray &key, QByteArray &vector)
{
    platform::RandomSource &random = platform::RandomSource::instance();
    key.resize(kKeyBytes);
    vector.resize(kKeyBytes);
    for (int j = 0; j < kKeyBytes; ++j) {
        key[j] = drawByte(random);
        vector[j] = drawByte(random);
    }
}

QByteArray header(int16_t count, const QByteArray &key, const QByteArray &vector)
{
    QByteArray bytes(kHeaderBytes, '\0');
    char *out = bytes.data();
    qToLittleEndian<int16_t>(kFormatVersion, out);
    for (int j = 0; j < kKeyBytes; ++j) {
        out[kMaskedKeyAt + j] = char(key.at(j) ^ vector.at(j));
        out[kVectorAt + j] = vector.at(j);
    }
    qToLittleEndian<int16_t>(count, out + kCountAt);
    return bytes;
}

void readKeyAndVector(const QByteArray &head, QByteArray &key, QByteArray &vector)
{
    key = QByteArray(kUsedKeyBytes, '\0');
    vector = QByteArray(kUsedKeyBytes, '\0');
    for (int j = 0; j < kUsedKeyBytes; ++j) {
        vector[j] = head.at(kVectorAt + j);
        key[j] = char(head.at(kMaskedKeyAt + j) ^ vector.at(j));
    }
}

int16_t recordCount(const QByteArray &head)
{
    return qFromLittleEndian<int16_t>(head.constData() + kCountAt);
}

QByteArray textToBytes(const QString &text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<char16_t>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

QString bytesToText(const QByteArray &bytes)
{
    const qsizetype units = (bytes.size() + 1) / 2;
    QString text(units, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(bytes.constData(), bytes.size() / 2, text.data());
    if (bytes.size() % 2)
        text[units - 1] = QChar(char16_t(uint8_t(bytes.back())));
    return text;
}

} // namespace orvane::OVAdDataFile
