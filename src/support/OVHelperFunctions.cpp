#include "support/OVHelperFunctions.h"

#include "support/Ansi.h"
#include "support/ErrorHandler.h"

#include <algorithm>
#include <cstring>

namespace orvane::OVHelperFunctions {

namespace {
inline uint8_t byteAt(const QByteArray &a, qsizetype i)
{
    return static_cast<uint8_t>(a[i]);
}

enum class Direction { Scramble, Unscramble };

// Sixteen bytes at once, in the compiler's portable vector type.
constexpr qsizetype kLanes = 16;
typedef uint8_t Lanes __attribute__((vector_size(kLanes)));

inline Lanes loadLanes(const uint8_t *p)
{
    Lanes lanes;
    std::memcpy(&lanes, p, sizeof lanes);
    return lanes;
}

// The blocks after the first, one block of k <= 16 bytes per step, 16 lanes
// wide: lane i of the step at b is out[b + i] = in[b + i] ^ (scrambled[b - k
// + i] + v[i mod k]). Lanes 0..k-1 are the block itself; the lanes past it
// may read scrambled bytes not yet written, but the next step, k bytes on,
// writes those bytes again from finished ones. Returns where the steps
// stopped: the last bytes, fewer than 16, are left to the caller.
qsizetype chainBlocks(
    uint8_t *out, const uint8_t *in, const uint8_t *scrambled, const uint8_t *v, qsizetype k, qsizetype n)
{
    uint8_t pattern[kLanes];
    for (qsizetype i = 0; i < kLanes; ++i)
        pattern[i] = v[i % k];
    const Lanes vector = loadLanes(pattern);
    qsizetype b = k;
    if (b + kLanes > n)
        return b;
    if (scrambled == out) {
        // Scrambling: the block just made is the next one's chaining input,
        // so it stays in a register instead of going through memory.
        uint8_t first[kLanes] = {};
        std::memcpy(first, out, size_t(k));
        Lanes previous = loadLanes(first);
        for (; b + kLanes <= n; b += k) {
            previous = loadLanes(in + b) ^ (previous + vector);
            std::memcpy(out + b, &previous, sizeof previous);
        }
        return b;
    }
    for (; b + kLanes <= n; b += k) {
        const Lanes lanes = loadLanes(in + b) ^ (loadLanes(scrambled + b - k) + vector);
        std::memcpy(out + b, &lanes, sizeof lanes);
    }
    return b;
}

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

    // Every byte is written below.
    QByteArray out(n, Qt::Uninitialized);
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
        qsizetype b = k;
        if (k <= kLanes)
            b = chainBlocks(reinterpret_cast<uint8_t *>(o), reinterpret_cast<const uint8_t *>(d),
                reinterpret_cast<const uint8_t *>(scrambled), v, k, n);
        for (; b < n; b += k) {
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
