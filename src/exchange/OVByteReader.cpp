#include "exchange/OVByteReader.h"

#include "support/Ansi.h"
#include "support/OVFault.h"

#include <bit>
#include <cstring>

namespace orvane {

OVByteReader::OVByteReader(const QByteArray &bytes, qsizetype position)
    : m_bytes(bytes)
    , m_position(position)
{
}

void OVByteReader::pastEnd(qsizetype at) const
{
    raiseFault(
        FaultIndexOutOfRange, QStringLiteral("Read past the end of %1 bytes at offset %2").arg(m_bytes.size()).arg(at));
}

uint8_t OVByteReader::byte()
{
    if (m_position < 0 || m_position >= m_bytes.size())
        pastEnd(m_position);
    return static_cast<uint8_t>(m_bytes[m_position++]);
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
    if (m_position < 0 || m_position >= m_bytes.size())
        pastEnd(m_position);
    const qsizetype end = m_bytes.indexOf('\0', m_position);
    if (end < 0) {
        const qsizetype start = m_position;
        m_position = m_bytes.size();
        pastEnd(start);
    }
    QString out(end - m_position, Qt::Uninitialized);
    QChar *to = out.data();
    for (qsizetype i = m_position; i < end; ++i)
        *to++ = Ansi::toChar(static_cast<unsigned char>(m_bytes[i]));
    m_position = end;
    return out;
}

QString OVByteReader::fixedText(qsizetype count)
{
    if (m_position < 0 || count > m_bytes.size() - m_position)
        pastEnd(m_position);
    QString out(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        out[i] = Ansi::toChar(static_cast<unsigned char>(m_bytes[m_position + i]));
    m_position += count;
    return out;
}

double OVByteReader::date()
{
    const qsizetype start = m_position;
    m_position += 16;
    if (start < 0 || 16 > m_bytes.size() - start)
        pastEnd(start);
    static_assert(std::endian::native == std::endian::little, "the date bytes are read in host order");
    double value;
    std::memcpy(&value, m_bytes.constData() + start, sizeof value);
    return value;
}

} // namespace orvane
