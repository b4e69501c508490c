// Encoding and decoding a full content update (255 offers), a hostile one
// and a usage report of 500 statistics, against copying the same bytes.
#include "BenchHarness.h"
#include "exchange/OVContentUpdate.h"
#include "exchange/OVUsageReport.h"

#include <cstring>

using namespace orvane;

namespace {
QString guid(int n)
{
    return QStringLiteral("{%1-0000-4000-8000-000000000000}").arg(n, 8, 10, QLatin1Char('0'));
}

double copyOf(const QByteArray &bytes)
{
    return bench::nsPerRun([&] {
        QByteArray out(bytes.size(), Qt::Uninitialized);
        std::memcpy(out.data(), bytes.constData(), bytes.size());
        keep(out);
    });
}
} // namespace

int main()
{
    OVContentUpdate update;
    update.setBaseURL(QStringLiteral("http://127.0.0.1:8080/images"));
    for (int i = 1; i <= 255; ++i)
        update.AddAnOffering(guid(i), guid(1000), QStringLiteral("https://e.com/%1").arg(i), 47000.0, 3,
            QStringLiteral("a%1.png").arg(i), 20, 6);
    const QByteArray content = update.GetStateIntoByteArray();
    std::printf("content update: %d offers written, %lld bytes\n", update.OfferingsInLastState(),
        static_cast<long long>(content.size()));
    const double contentCopy = copyOf(content);
    bench::report("  copy (baseline)", contentCopy, contentCopy);
    bench::report(
        "  GetStateIntoByteArray", bench::nsPerRun([&] { keep(update.GetStateIntoByteArray()); }), contentCopy);
    bench::report("  SetStateFromByteArray", bench::nsPerRun([&] {
        OVContentUpdate back;
        back.SetStateFromByteArray(content);
        keep(back);
    }),
        contentCopy);

    // The worst a hostile server can send: 255 records announced and no
    // terminator in 32 KB, so every read of every record fails.
    QByteArray hostile(32'767, 'x');
    hostile[0] = 5;
    hostile[1] = char(255);
    const double hostileCopy = copyOf(hostile);
    std::printf("hostile content update: %lld bytes, 255 records announced, no terminator\n",
        static_cast<long long>(hostile.size()));
    bench::report("  copy (baseline)", hostileCopy, hostileCopy);
    bench::report("  SetStateFromByteArray", bench::nsPerRun([&] {
        OVContentUpdate back;
        back.SetStateFromByteArray(hostile);
        keep(back);
    }),
        hostileCopy);

    OVUsageReport report;
    report.setProductGUID(guid(1));
    for (int i = 1; i <= 500; ++i)
        report.AddUsageStat(guid(i), int16_t(i), int16_t(i % 7), 47000.5);
    const QByteArray usage = report.GetStateIntoByteArray();
    std::printf(
        "usage report: %d statistics, %lld bytes\n", report.StatsInLastState(), static_cast<long long>(usage.size()));
    const double usageCopy = copyOf(usage);
    bench::report("  copy (baseline)", usageCopy, usageCopy);
    bench::report("  GetStateIntoByteArray", bench::nsPerRun([&] { keep(report.GetStateIntoByteArray()); }), usageCopy);
    bench::report("  SetStateFromByteArray", bench::nsPerRun([&] {
        OVUsageReport back;
        back.SetStateFromByteArray(usage);
        keep(back);
    }),
        usageCopy);
    return 0;
}
