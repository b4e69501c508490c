// Scrambling and unscrambling throughput against a plain copy of the same bytes.
#include "BenchHarness.h"
#include "support/OVHelperFunctions.h"

#include <QByteArray>

#include <cstring>

using namespace orvane::OVHelperFunctions;

int main()
{
    const QByteArray key(15, '\x5A');
    const QByteArray vector(15, '\x33');
    for (qsizetype size : {464, 32'767, 1'000 * 464}) {
        QByteArray data(size, '\0');
        for (qsizetype i = 0; i < size; ++i)
            data[i] = char(i * 31 + 7);
        const QByteArray scrambled = EncryptByteArray(data, key, vector);

        const double copy = bench::nsPerRun([&] {
            QByteArray out(size, Qt::Uninitialized);
            std::memcpy(out.data(), data.constData(), size);
            keep(out);
        });
        const double enc = bench::nsPerRun([&] { keep(EncryptByteArray(data, key, vector)); });
        const double dec = bench::nsPerRun([&] { keep(DecryptByteArray(scrambled, key, vector)); });
        std::printf("%lld bytes\n", static_cast<long long>(size));
        bench::report("  plain copy (baseline)", copy, copy);
        bench::report("  EncryptByteArray", enc, copy);
        bench::report("  DecryptByteArray", dec, copy);
    }
    return 0;
}
