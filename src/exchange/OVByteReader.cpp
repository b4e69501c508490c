#include "exchange/OVByteReader.h"

#include "support/Ansi.h"

#include <bit>
#include <cstring>

namespace orvane {

OVByteReader::OVByteReader(const QByteArray &bytes, qsizetype position)
    : m_bytes(bytes)
    , m_position(position)
{
}

OVByteReader::~OVByteReader() = default;

OVFault OVByteReader::pastEnd(qsizetype at) const
{
    return OVFault(
        FaultIndexOutOfRange, QStringLiteral("Read past the end of %1 bytes at offset %2").arg(m_bytes.size()).arg(at));
}

bool OVByteReader::reported(qsizetype failedAt, ErrorHandler &handler)
{
    if (failedAt < 0)
        return true;
    // Once the bytes have run out every further read fails the same way; one
    // fault serves them all.
    if (!m_pastEnd)
        m_pastEnd = std::make_unique<OVFault>(
            FaultIndexOutOfRange, QStringLiteral("Read past the end of %1 bytes").arg(m_bytes.size()));
    handler.fail(*m_pastEnd);
    return false;
}

void OVByteReader::thrown(qsizetype failedAt) const
{
    if (failedAt >= 0)
        throw pastEnd(failedAt);
}

qsizetype OVByteReader::readByte(uint8_t &out)
{
    if (m_position < 0 || m_position >= m_bytes.size())
        return m_position;
    out = static_cast<uint8_t>(m_bytes[m_position++]);
    return -1;
}

qsizetype OVByteReader::readText(QString &out)
{
    if (m_position < 0 || m_position >= m_bytes.size())
        return m_position;
    const qsizetype end = m_bytes.indexOf('\0', m_position);
    if (end < 0) {
        const qsizetype start = m_position;
        m_position = m_bytes.size();
        return start;
    }
    out = QString(end - m_position, Qt::Uninitialized);
    QChar *to = out.data();
    for (qsizetype i = m_position; i < end; ++i)
        *to++ = Ansi::toChar(static_cast<unsigned char>(m_bytes[i]));
    m_position = end;
    return -1;
}

qsizetype OVByteReader::readDate(double &out)
{
    const qsizetype start = m_position;
    m_position += 16;
    if (start < 0 || 16 > m_bytes.size() - start)
        return start;
    static_assert(std::endian::native == std::endian::little, "the date bytes are read in host order");
    std::memcpy(&out, m_bytes.constData() + start, sizeof out);
    return -1;
}

uint8_t OVByteReader::byte()
{
    uint8_t value = 0;
    thrown(readByte(value));
    return value;
}

bool OVByteReader::byte(ErrorHandler &handler, uint8_t &out)
{
    return reported(readByte(out), handler);
}

int16_t OVByteReader::base255()
{
    const int32_t high = byte();
    const int32_t low = byte();
    const int32_t value = high * 255 + low;
    if (value > INT16_MAX)
        raiseFault(FaultOverflow, QStringLiteral("%1 does not fit 16 bits").arg(value));
    return static_cast<int16_t>(value);
}

QString OVByteReader::text()
{
    QString value;
    thrown(readText(value));
    return value;
}

bool OVByteReader::text(ErrorHandler &handler, QString &out)
{
    return reported(readText(out), handler);
}

QString OVByteReader::fixedText(qsizetype count)
{
    if (m_position < 0 || count > m_bytes.size() - m_position)
        throw pastEnd(m_position);
    QString out(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        out[i] = Ansi::toChar(static_cast<unsigned char>(m_bytes[m_position + i]));
    m_position += count;
    return out;
}

double OVByteReader::date()
{
    double value = 0;
    thrown(readDate(value));
    return value;
}

bool OVByteReader::date(ErrorHandler &handler, double &out)
{
    return reported(readDate(out), handler);
}

} // namespace orvane
