#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

#include <cstring>
#include <initializer_list>

// Small builders for byte-exact expectations.
namespace testdata {

inline QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// A date-time as it travels: the 8 bytes of the double, little-endian, then 8 zero bytes.
inline QByteArray date(double d)
{
    QByteArray out(16, '\0');
    std::memcpy(out.data(), &d, 8);
    return out;
}

// A GUID text whose first group is n.
inline QString guid(int n)
{
    return QStringLiteral("{%1-0000-0000-0000-000000000000}").arg(n, 8, 10, QLatin1Char('0'));
}

// A whole file written or read; an empty read when it cannot be opened.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}
inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A bool column of two rows: `no` with false, `yes` with true.
inline void boolRows(const char *column, const char *no, const char *yes)
{
    QTest::addColumn<bool>(column);
    QTest::newRow(no) << false;
    QTest::newRow(yes) << true;
}

} // namespace testdata
