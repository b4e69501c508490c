#include "exchange/OVByteWriter.h"

#include "support/Ansi.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace orvane {

OVByteWriter::OVByteWriter(ErrorHandler &handler)
    : m_handler(handler)
{
    m_buffer.reserve(256);
}

namespace {
OVFault noByteFor(QChar c)
{
    return OVFault(FaultInvalidCall,
        QStringLiteral("Character U+%1 has no byte in the code page").arg(c.unicode(), 4, 16, QLatin1Char('0')));
}
} // namespace

int32_t OVByteWriter::charByte(QChar c)
{
    const auto byte = Ansi::fromChar(c);
    if (!byte)
        throw noByteFor(c);
    return *byte;
}

void OVByteWriter::put(qsizetype offset, int32_t value)
{
    if (value < 0 || value > 255)
        m_handler.fail(OVFault(FaultOverflow, QStringLiteral("%1 does not fit in a byte").arg(value)));
    else if (offset < 0 || offset >= kLastOffset)
        m_handler.fail(OVFault(FaultIndexOutOfRange, QStringLiteral("Offset %1 is past the buffer").arg(offset)));
    else {
        reach(offset);
        m_buffer.data()[offset] = static_cast<char>(value);
    }
}

void OVByteWriter::advance()
{
    if (m_position >= kLastOffset)
        m_handler.fail(OVFault(FaultIndexOutOfRange, QStringLiteral("The buffer is full")));
    else
        ++m_position;
}

void OVByteWriter::putAt(qsizetype offset, int32_t value)
{
    put(offset, value);
}

void OVByteWriter::emitChar(QChar c)
{
    if (const auto byte = Ansi::fromChar(c))
        put(m_position, *byte);
    else
        m_handler.fail(noByteFor(c));
    advance();
}

void OVByteWriter::emitText(const QString &text)
{
    const QChar *chars = text.constData();
    const qsizetype count = text.size();
    if (count == 0)
        return;
    reach(m_position + std::min(count, room()) - 1);
    char *data = m_buffer.data();
    for (qsizetype i = 0; i < count; ++i) {
        if (room() == 0) {
            m_handler.fail(OVFault(
                FaultIndexOutOfRange, QStringLiteral("The buffer is full: %1 characters not written").arg(count - i)));
            return;
        }
        // A character without a byte is reported and leaves its 0x00.
        if (const auto byte = Ansi::fromChar(chars[i]))
            data[m_position] = static_cast<char>(*byte);
        else
            m_handler.fail(noByteFor(chars[i]));
        ++m_position;
    }
}

void OVByteWriter::emitBase255(int32_t value)
{
    emitByte(value / 255);
    emitByte(value % 255);
}

void OVByteWriter::emitDate(double oleDate)
{
    unsigned char bytes[8];
    std::memcpy(bytes, &oleDate, sizeof bytes);
    static_assert(std::endian::native == std::endian::little, "the date bytes are written in host order");
    for (unsigned char b : bytes)
        emitByte(b);
    for (int i = 0; i < 8; ++i)
        emitByte(0);
}

QByteArray OVByteWriter::finish()
{
    reach(m_position);
    m_buffer.truncate(m_position + 1);
    return m_buffer;
}

} // namespace orvane
