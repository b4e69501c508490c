#pragma once

#include "support/ErrorHandler.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

namespace orvane {

// A bounds-checked cursor over received bytes. A read past the end never
// touches memory outside the buffer; the readers of the byte forms "trust
// their input" only in that they check no tags or lengths.
//
// Each read comes in two forms: one throws OVFault 9 (for readers that run as
// one guarded step), the other reports the failure to a handler and returns
// false, so that a buffer that ends early costs no exception per field.
class OVByteReader
{
public:
    explicit OVByteReader(const QByteArray &bytes, qsizetype position = 0);
    ~OVByteReader();

    qsizetype position() const { return m_position; }
    void setPosition(qsizetype position) { m_position = position; }
    void skip(qsizetype count = 1) { m_position += count; }

    // The byte at the position, then advances.
    uint8_t byte();
    bool byte(ErrorHandler &handler, uint8_t &out);
    // high * 255 + low, as a 16-bit signed number (OVFault 6 above 32,767).
    int16_t base255();
    // The characters up to, not including, the next 0x00; the position is
    // left on the 0x00. Without one, the position goes to the end and the
    // read fails.
    QString text();
    bool text(ErrorHandler &handler, QString &out);
    // Exactly count characters, one per byte.
    QString fixedText(qsizetype count);
    // 16 bytes, the first 8 a little-endian double; the position moves by 16
    // even when fewer bytes remain (and the read fails).
    double date();
    bool date(ErrorHandler &handler, double &out);

private:
    // Each returns the offset at which the read failed, or -1.
    qsizetype readByte(uint8_t &out);
    qsizetype readText(QString &out);
    qsizetype readDate(double &out);
    OVFault pastEnd(qsizetype at) const;
    // The two ways a read that failed at failedAt (-1: it did not) ends:
    // reported to the handler (false), or thrown.
    bool reported(qsizetype failedAt, ErrorHandler &handler);
    void thrown(qsizetype failedAt) const;

    QByteArray m_bytes; // shared, not copied
    qsizetype m_position = 0;
    std::unique_ptr<OVFault> m_pastEnd;
};

} // namespace orvane
