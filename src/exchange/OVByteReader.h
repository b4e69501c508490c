#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace orvane {

// A bounds-checked cursor over received bytes. Every read past the end throws
// OVFault 9 instead of touching memory outside the buffer; the readers of the
// byte forms "trust their input" only in that they check no tags or lengths.
class OVByteReader
{
public:
    explicit OVByteReader(const QByteArray &bytes, qsizetype position = 0);

    qsizetype position() const { return m_position; }
    void setPosition(qsizetype position) { m_position = position; }
    void skip(qsizetype count = 1) { m_position += count; }
    bool atEnd() const { return m_position >= m_bytes.size(); }

    // The byte at the position, then advances.
    uint8_t byte();
    // high * 255 + low, as a 16-bit signed number (OVFault 6 above 32,767).
    int16_t base255();
    // The characters up to, not including, the next 0x00; the position is
    // left on the 0x00. Without one, the position goes to the end and the
    // read fails.
    QString text();
    // Exactly count characters, one per byte.
    QString fixedText(qsizetype count);
    // 16 bytes, the first 8 a little-endian double; the position moves by 16
    // even when fewer bytes remain (and the read fails).
    double date();

private:
    [[noreturn]] void pastEnd(qsizetype at) const;

    QByteArray m_bytes; // shared, not copied
    qsizetype m_position = 0;
};

} // namespace orvane
