#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// The bytes of the exchange with the ad server: the two requests the client
// sends, the routines that read the server's answers, and the exchange
// states. Pure functions; text is one byte per character in the ANSI code
// page, lines end with CR LF, every comparison is exact and case-sensitive.
namespace orvane::OVFraming {

enum ExchangeState : int32_t {
    StateIdle = 10,
    StateConnecting = 15,
    StateConnected = 20,
    StateSendingChallenge = 30,
    StateSentChallenge = 40,
    StateSendingResponse = 50,
    StateSentResponse = 60,
    StateSendingUsageRequest = 70,
    StateSentUsageRequest = 80,
    StateSendingRejection = 90,
    StateSentRejection = 100,
    StateSendingUsageData = 110,
    StateSentUsageData = 120,
    StateReceivingUsageData = 122,
    StateSendingUsageReceipt = 125,
    StateSentUsageReceipt = 126,
    StateSendingContentRequest = 127,
    StateSentContentRequest = 128,
    StateSendingContent = 130,
    StateSentContent = 140,
    StateReceivingAdContent = 150,
    StateReceivedAdContent = 160,
    StateSendingContentReceipt = 170,
    StateSentContentReceipt = 180,
    StateSendingCloseRequest = 190,
    StateSentCloseRequest = 200,
    StateDone = 210,
};

// The trace name of a state ("Sent usage data " keeps its trailing space);
// "Unknown state: " and the number for any other value.
QString ExchangeStateName(int32_t state);

// The largest content length the exchange can hold (16-bit counts).
inline constexpr int32_t kMaxContentLength = 32'767;

// The number the usage post announces for a report: its byte count minus 2
// (never below 0). Every byte of the report is sent all the same.
int32_t AnnouncedUsageLength(const QByteArray &report);

// "POST /Orvane/Usage HTTP/1.1", Host, Cache-Control, Content-Type and
// Content-Length lines, the empty line, then every byte of the report.
// Throws OVFault 5 for a host name character outside the code page.
QByteArray ComposeUsagePost(const QString &remoteHost, const QByteArray &report);
// "GET /Orvane/Ads HTTP/1.1", Host and Cache-Control lines, the empty line.
QByteArray ComposeAdListRequest(const QString &remoteHost);

// True when the six characters after the first space are "200 OK".
// Faults are logged under "IsOKResponse".
bool IsOKResponse(const QByteArray &received);
// The number of the first "Content-Length: " line; 0 after a logged fault
// (source "OVConnect.ContentLength"): no such line, no CR LF after it, no
// number, or a number outside 16 bits.
int16_t ContentLength(const QByteArray &received);
// The index of the first content byte (the header's byte count including the
// empty line); 0 for no bytes. Without an empty line the fault is logged
// (source "OVConnect.HeaderLength") and the result, 3, describes nothing.
int16_t HeaderLength(const QByteArray &received);

// The content response's header as the exchange acts on it. Not usable when
// the "Content-Length: " line or the empty line is missing, or when the
// announced length is negative or above kMaxContentLength: such a response
// is a failed content transfer.
struct ContentHeader
{
    int16_t headerLength = 0;
    int16_t contentLength = 0;
    bool usable = false;
};
ContentHeader ReadContentHeader(const QByteArray &received);

} // namespace orvane::OVFraming
