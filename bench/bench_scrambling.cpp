// Scrambling and unscrambling against their floor measured in the same run:
// the same chaining (each byte after the first block masked by the scrambled
// byte one block earlier plus the vector byte) written as a plain loop that
// the compiler vectorises, over the same bytes into a new buffer. A plain copy
// is shown beside it.
#include "BenchHarness.h"
#include "support/OVHelperFunctions.h"

#include <QByteArray>

#include <cstdint>
#include <cstring>

using namespace orvane::OVHelperFunctions;

namespace {
constexpr qsizetype kKey = 15;
constexpr qsizetype kSpan = kKey * 16; // whole blocks, whole vector lanes

// One span of whole blocks; `d` points one block before the span's input.
inline void chainSpan(uint8_t *__restrict o, const uint8_t *__restrict d, const uint8_t *__restrict v)
{
    for (qsizetype i = 0; i < kSpan; ++i)
        o[i] = d[kKey + i] ^ uint8_t(d[i] + v[i]);
}

// Unscrambling's form of the chaining, where no byte waits for another: the
// floor for both directions.
Q_NEVER_INLINE QByteArray chainedLoop(const QByteArray &in, const QByteArray &key, const QByteArray &vector)
{
    const qsizetype n = in.size();
    QByteArray out(n, Qt::Uninitialized);
    const auto *d = reinterpret_cast<const uint8_t *>(in.constData());
    auto *o = reinterpret_cast<uint8_t *>(out.data());
    uint8_t v[kSpan];
    for (qsizetype i = 0; i < kSpan; i += kKey)
        std::memcpy(v + i, vector.constData(), kKey);
    for (qsizetype i = 0; i < std::min(n, kKey); ++i)
        o[i] = d[i] ^ uint8_t(key[i]);
    qsizetype b = kKey;
    for (; b + kSpan <= n; b += kSpan)
        chainSpan(o + b, d + b - kKey, v);
    for (qsizetype i = 0; b + i < n; ++i)
        o[b + i] = d[b + i] ^ uint8_t(d[b + i - kKey] + v[i]);
    return out;
}

Q_NEVER_INLINE QByteArray copy(const QByteArray &in)
{
    QByteArray out(in.size(), Qt::Uninitialized);
    std::memcpy(out.data(), in.constData(), size_t(in.size()));
    return out;
}

Q_NEVER_INLINE QByteArray scramble(const QByteArray &d, const QByteArray &k, const QByteArray &v)
{
    return EncryptByteArray(d, k, v);
}

Q_NEVER_INLINE QByteArray unscramble(const QByteArray &d, const QByteArray &k, const QByteArray &v)
{
    return DecryptByteArray(d, k, v);
}
} // namespace

int main()
{
    const QByteArray key(kKey, '\x5A');
    const QByteArray vector(kKey, '\x33');
    for (qsizetype size : {464, 32'767, 32'767 * 464}) {
        QByteArray data(size, '\0');
        for (qsizetype i = 0; i < size; ++i)
            data[i] = char(i * 31 + 7);
        const QByteArray scrambled = EncryptByteArray(data, key, vector);
        if (chainedLoop(scrambled, key, vector) != data)
            std::printf("floor does not unscramble\n");

        double copyNs = 1e300, floorNs = 1e300, encNs = 1e300, decNs = 1e300;
        for (int round = 0; round < 3; ++round) {
            copyNs = std::min(copyNs, bench::nsPerRun([&] { keep(copy(data)); }, 2));
            floorNs = std::min(floorNs, bench::nsPerRun([&] { keep(chainedLoop(scrambled, key, vector)); }, 2));
            encNs = std::min(encNs, bench::nsPerRun([&] { keep(scramble(data, key, vector)); }, 2));
            decNs = std::min(decNs, bench::nsPerRun([&] { keep(unscramble(scrambled, key, vector)); }, 2));
        }
        std::printf("%lld bytes\n", static_cast<long long>(size));
        bench::report("  vectorised chaining loop (floor)", floorNs, floorNs);
        bench::report("  plain copy", copyNs, floorNs);
        bench::report("  EncryptByteArray", encNs, floorNs);
        bench::report("  DecryptByteArray", decNs, floorNs);
    }
    return 0;
}
