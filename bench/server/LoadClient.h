#pragma once

#include <QByteArray>

#include <cstdint>

// A lean load generator on one epoll loop: `clients` connections, each sending
// `request` on a new connection as soon as the last answer is complete, for
// `ms` milliseconds. Lean so that the server under test gets the cores, and the
// same for every server compared. Four clients share a source address
// (127.0.1.x). Connections end with a reset, which leaves no
// TIME_WAIT behind to exhaust the local ports.
namespace bench {

struct LoadResult
{
    double okPerSecond = 0; // answers starting with the expected prefix
    int64_t failed = 0; // other answers, resets and refusals
};

LoadResult runLoad(uint16_t port, const QByteArray &request, int clients, int ms, const QByteArray &okPrefix);

} // namespace bench
