#pragma once

#include <QString>

namespace bench {

// `report --by day,ad` over 30 days x 1,000 ads from the rollups, with 1 M and
// 10 M raw report rows (or the counts in ORVANE_BENCH_REPORT_ROWS, "small,large"),
// generated inside the database. Prints the query's time for each and their
// ratio. `db` is "sqlite" (in `folder`) or a PostgreSQL URL.
void runReportBench(const QString &db, const QString &folder);

} // namespace bench
