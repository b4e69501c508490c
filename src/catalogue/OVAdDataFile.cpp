#include "catalogue/OVAdDataFile.h"

#include "platform/RandomSource.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace orvane::OVAdDataFile {

namespace {
char drawByte(platform::RandomSource &random)
{
    // The integer part of 255 r + 1: 1..255, never 0 (clamped for an r that
    // rounds up to the top of the range).
    return char(std::clamp(int(std::floor(255.0 * random.next() + 1.0)), 1, 255));
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
        out[2 + j] = char(key.at(j) ^ vector.at(j));
        out[18 + j] = vector.at(j);
    }
    qToLittleEndian<int16_t>(count, out + 34);
    return bytes;
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
