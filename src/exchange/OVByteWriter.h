#pragma once

#include "support/ErrorHandler.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace orvane {

// The working buffer of the byte-form writers: 32,001 zero bytes and a write
// position. Writing a byte and advancing are separate steps of the caller's
// handler, so a byte that cannot be written stays 0x00 while the position
// still moves on. The position never passes offset 32,000, whose byte is
// never written, so the result always ends with 0x00.
class OVByteWriter
{
public:
    static constexpr qsizetype kCapacity = 32'001;
    static constexpr qsizetype kLastOffset = kCapacity - 1;

    explicit OVByteWriter(ErrorHandler &handler);

    qsizetype position() const { return m_position; }
    // Bytes still free before the final offset.
    qsizetype room() const { return kLastOffset - m_position; }

    // One step writes value at the position (OVFault 6 outside 0..255, 9 past
    // the buffer; OVFault from value() itself), a second step advances. Only
    // value() may throw; the checks of the buffer report without throwing.
    template <typename F>
    void emit(F &&value)
    {
        int32_t v = 0;
        if (m_handler.step([&] { v = value(); }))
            put(m_position, v);
        advance();
    }
    void emitByte(int32_t value)
    {
        if (value >= 0 && value <= 255 && m_position < kLastOffset) {
            reach(m_position);
            m_buffer.data()[m_position++] = static_cast<char>(value);
            return;
        }
        put(m_position, value);
        advance();
    }
    void emitChar(QChar c);
    // Every character, one step each. Once the buffer is full the rest of the
    // text is one fault, not one per character.
    void emitText(const QString &text);
    void emitTerminator() { emitByte(0); }
    // high = value / 255, low = value % 255.
    void emitBase255(int32_t value);
    // The 8 bytes of the double, little-endian, then 8 zero bytes.
    void emitDate(double oleDate);

    // A guarded write at a fixed offset, without moving the position.
    void putAt(qsizetype offset, int32_t value);

    // The buffer cut to offsets 0 to the position: one byte more than the data.
    QByteArray finish();

    // The character's byte in the code page; OVFault 5 when it has none.
    static int32_t charByte(QChar c);

private:
    // Each reports its failure to the handler as one failed step.
    void put(qsizetype offset, int32_t value);
    void advance();
    // The buffer holds only what has been reached, so that a short result
    // costs no 32 KB of zeros; the bytes past it are zeros all the same.
    void reach(qsizetype offset)
    {
        if (offset >= m_buffer.size())
            m_buffer.append(offset + 1 - m_buffer.size(), '\0');
    }

    ErrorHandler &m_handler;
    QByteArray m_buffer;
    qsizetype m_position = 0;
};

} // namespace orvane
