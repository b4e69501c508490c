#pragma once

#include <QString>

namespace orvane::adserver {

// What `serve` may be told beyond where to listen and what to serve.
struct ServerOptions
{
    QString publicUrl; // the images' base address; empty: from the listening address or the request
    int idleTimeoutMs = 10'000; // a connection with no request under way
    int requestTimeoutMs = 10'000; // one whole request, from its first byte to the last byte of its answer
    int maxConnections = 512;
    int maxConnectionsPerPeer = 64;
    int shutdownBoundMs = 10'000; // SIGTERM or SIGINT: commit, answer and exit within this time
};

} // namespace orvane::adserver
