#include "support/OVHelperFunctions.h"

#include "support/Ansi.h"
#include "support/ErrorHandler.h"

#include <algorithm>

namespace orvane::OVHelperFunctions {

namespace {
inline uint8_t byteAt(const QByteArray &a, qsizetype i)
{
    return static_cast<uint8_t>(a[i]);
}

enum class Direction { Scramble, Unscramble };

// The block chaining shared by both directions: the first block is masked by
// the key, every later byte by (scrambled byte one block earlier + vector
// byte) mod 256.
QByteArray chain(
    const QByteArray &in, const QByteArray &key, const QByteArray &vector, Direction direction, const QString &source)
{
    const qsizetype n = in.size();
    const qsizetype k = key.size();
    if (n == 0 || k == 0)
        return QByteArray();

    QByteArray out(n, '\0');
    char *o = out.data();
    const char *d = in.constData();
    const char *kk = key.constData();
    const qsizetype first = std::min(k, n);
    for (qsizetype i = 0; i < first; ++i)
        o[i] = static_cast<char>(d[i] ^ kk[i]);

    // The scrambled stream is the output when scrambling and the input when
    // unscrambling.
    const char *scrambled = direction == Direction::Scramble ? o : d;
    if (vector.size() >= k) {
        const uint8_t *v = reinterpret_cast<const uint8_t *>(vector.constData());
        for (qsizetype b = k; b < n; b += k) {
            const qsizetype m = std::min(n - b, k);
            for (qsizetype i = 0; i < m; ++i) {
                const uint8_t t = AddBytesMod256(static_cast<uint8_t>(scrambled[b - k + i]), v[i]);
                o[b + i] = static_cast<char>(static_cast<uint8_t>(d[b + i]) ^ t);
            }
        }
        return out;
    }

    // A vector shorter than the key: each missing vector byte is a fault that
    // is logged, and the byte is masked by the previous chaining value.
    ErrorHandler handler(source);
    uint8_t t = 0;
    for (qsizetype b = k; b < n; b += k) {
        const qsizetype m = std::min(n - b, k);
        for (qsizetype i = 0; i < m; ++i) {
            handler.step([&] {
                if (i >= vector.size())
                    raiseFault(FaultIndexOutOfRange);
                t = AddBytesMod256(static_cast<uint8_t>(scrambled[b - k + i]), byteAt(vector, i));
            });
            o[b + i] = static_cast<char>(static_cast<uint8_t>(d[b + i]) ^ t);
        }
    }
    return out;
}
} // namespace

QByteArray EncryptByteArray(const QByteArray &data, const QByteArray &key, const QByteArray &chainingVector)
{
    return chain(data, key, chainingVector, Direction::Scramble, QStringLiteral("OVHelpers.EncryptByteArray"));
}

QByteArray DecryptByteArray(const QByteArray &data, const QByteArray &key, const QByteArray &chainingVector)
{
    return chain(data, key, chainingVector, Direction::Unscramble, QStringLiteral("OVHelpers.DecryptByteArray"));
}

bool CopyByteArray(const QByteArray &source, QByteArray &destination, qsizetype start, std::optional<qsizetype> length)
{
    if (source.isEmpty()) {
        destination.clear();
        return true;
    }
    const qsizetype count = length.value_or(source.size() - start);
    if (count <= 0) {
        destination.clear();
        return true;
    }
    ErrorHandler handler(QStringLiteral("OVHelpers.CopyByteArray"));
    QByteArray copy(count, '\0');
    // The bytes in range are copied; each byte outside is a failed step of
    // its own (one logged fault each) and stays 0x00.
    const qsizetype first = std::clamp<qsizetype>(start, 0, source.size());
    const qsizetype last = std::clamp<qsizetype>(start + count, 0, source.size());
    if (last > first)
        std::copy(source.constData() + first, source.constData() + last, copy.data() + (first - start));
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype from = start + i;
        if (from < 0 || from >= source.size())
            handler.step(
                [&] { raiseFault(FaultIndexOutOfRange, QStringLiteral("byte %1 is outside the source").arg(from)); });
    }
    destination = copy;
    return true;
}

bool ConcatenateByteArrays(QByteArray &destination, const QByteArray &source)
{
    if (!source.isEmpty())
        destination.append(source);
    return true;
}

QByteArray StringToByteArray(const QString &text)
{
    if (text.isEmpty())
        raiseFault(FaultIndexOutOfRange);
    QByteArray out(text.size(), '\0');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto byte = Ansi::fromChar(text[i]);
        if (!byte)
            raiseFault(FaultInvalidCall);
        out[i] = static_cast<char>(*byte);
    }
    return out;
}

QString FileNameFromPath(const QString &path)
{
    QString rest = path;
    qsizetype at = rest.lastIndexOf(u'\\');
    if (at >= 0)
        rest = rest.mid(at + 1);
    at = rest.lastIndexOf(u'/');
    if (at >= 0)
        rest = rest.mid(at + 1);
    return rest;
}

} // namespace orvane::OVHelperFunctions
