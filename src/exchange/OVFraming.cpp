#include "exchange/OVFraming.h"

#include "support/ErrorHandler.h"
#include "support/OVHelperFunctions.h"
#include "support/TrimSpaces.h"

#include <cmath>
#include <optional>

namespace orvane::OVFraming {

namespace {
const QByteArray kCrLf = QByteArrayLiteral("\r\n");
const QByteArray kEmptyLine = QByteArrayLiteral("\r\n\r\n");
const QByteArray kContentLengthLine = QByteArrayLiteral("Content-Length: ");

QString sourceContentLength()
{
    return QStringLiteral("OVConnect.ContentLength");
}
QString sourceHeaderLength()
{
    return QStringLiteral("OVConnect.HeaderLength");
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// A number as the exchange reads one: blanks around it ignored, an optional
// sign, digits and an optional fraction rounded half to even. OVFault 13 for
// anything else, 6 outside 16 bits.
int16_t toInt16(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    qsizetype at = begin;
    bool negative = false;
    if (at < end && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    double whole = 0;
    qsizetype digits = 0;
    for (; at < end && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        if (whole < 1e6) // past 16 bits either way; stop growing
            whole = whole * 10 + (text[at] - '0');
    }
    double fraction = 0;
    if (at < end && text[at] == '.') {
        double scale = 0.1;
        for (++at; at < end && text[at] >= '0' && text[at] <= '9'; ++at, ++digits, scale /= 10)
            fraction += (text[at] - '0') * scale;
    }
    if (digits == 0 || at != end)
        raiseFault(FaultTypeMismatch, QStringLiteral("\"%1\" is not a number").arg(QString::fromLatin1(text)));
    double value = std::nearbyint(whole + fraction); // the default rounding is half to even
    if (negative)
        value = -value;
    if (value < INT16_MIN || value > INT16_MAX)
        raiseFault(FaultOverflow, QStringLiteral("%1 does not fit 16 bits").arg(value));
    return static_cast<int16_t>(value);
}

struct LengthLine
{
    qsizetype start = -1;
    int16_t value = 0;
    bool found = false;
};

LengthLine readContentLength(const QByteArray &received)
{
    LengthLine line;
    guarded(sourceContentLength(), [&] {
        line.start = received.indexOf(kContentLengthLine);
        if (line.start < 0)
            raiseFault(FaultInvalidCall, QStringLiteral("No Content-Length line"));
        const qsizetype colon = received.indexOf(':', line.start);
        const qsizetype crLf = received.indexOf(kCrLf, colon);
        if (crLf < 0)
            raiseFault(FaultInvalidCall, QStringLiteral("The Content-Length line has no end"));
        line.value = toInt16(received.mid(colon + 1, crLf - colon - 1));
        line.found = true;
    });
    return line;
}

struct HeaderEnd
{
    int16_t value = 0;
    bool found = false;
};

HeaderEnd readHeaderLength(const QByteArray &received)
{
    HeaderEnd end;
    if (received.isEmpty())
        return end;
    guarded(sourceHeaderLength(), [&] {
        const qsizetype q = received.indexOf(kEmptyLine) + 1; // 1-based, 0 when missing
        if (q + 3 > INT16_MAX)
            raiseFault(FaultOverflow, QStringLiteral("The header is longer than 16 bits can say"));
        end.value = int16_t(q + 3);
        if (q == 0)
            raiseFault(FaultInvalidCall, QStringLiteral("No empty line ends the header"));
        end.found = true;
    });
    return end;
}
} // namespace

QString ExchangeStateName(int32_t state)
{
    switch (state) {
    case StateIdle: return QStringLiteral("Idle");
    case StateConnecting: return QStringLiteral("Connecting");
    case StateConnected: return QStringLiteral("Connected");
    case StateSendingChallenge: return QStringLiteral("Sending challenge");
    case StateSentChallenge: return QStringLiteral("Sent challenge");
    case StateSendingResponse: return QStringLiteral("Sending response");
    case StateSentResponse: return QStringLiteral("Sent response");
    case StateSendingUsageRequest: return QStringLiteral("Sending usage request");
    case StateSentUsageRequest: return QStringLiteral("Sent usage request");
    case StateSendingRejection: return QStringLiteral("Sending rejection");
    case StateSentRejection: return QStringLiteral("Sent rejection");
    case StateSendingUsageData: return QStringLiteral("Sending usage data");
    case StateSentUsageData: return QStringLiteral("Sent usage data ");
    case StateReceivingUsageData: return QStringLiteral("Receiving usage data");
    case StateSendingUsageReceipt: return QStringLiteral("Sending usage receipt");
    case StateSentUsageReceipt: return QStringLiteral("Sent usage receipt");
    case StateSendingContentRequest: return QStringLiteral("Sending ContentRequest");
    case StateSentContentRequest: return QStringLiteral("Sent ContentRequest");
    case StateSendingContent: return QStringLiteral("Sending content");
    case StateSentContent: return QStringLiteral("Sent content");
    case StateReceivingAdContent: return QStringLiteral("Receiving Ad content");
    case StateReceivedAdContent: return QStringLiteral("Received Ad content");
    case StateSendingContentReceipt: return QStringLiteral("Sending content receipt");
    case StateSentContentReceipt: return QStringLiteral("Sent content receipt");
    case StateSendingCloseRequest: return QStringLiteral("Sending Close Request");
    case StateSentCloseRequest: return QStringLiteral("Sent Close Request");
    case StateDone: return QStringLiteral("Done");
    }
    return QStringLiteral("Unknown state: ") + QString::number(state);
}

int32_t AnnouncedUsageLength(const QByteArray &report)
{
    return report.size() > 2 ? int32_t(report.size() - 2) : 0;
}

QByteArray ComposeUsagePost(const QString &remoteHost, const QByteArray &report)
{
    const QString header = QStringLiteral("POST /Orvane/Usage HTTP/1.1\r\n") + QStringLiteral("Host: ")
        + trimSpaces(remoteHost) + QStringLiteral("\r\n") + QStringLiteral("Cache-Control: no-cache\r\n")
        + QStringLiteral("Content-Type: application/x-orvane\r\n") + QStringLiteral("Content-Length: ")
        + QString::number(AnnouncedUsageLength(report)) + QStringLiteral("\r\n") + QStringLiteral("\r\n");
    QByteArray post = OVHelperFunctions::StringToByteArray(header);
    OVHelperFunctions::ConcatenateByteArrays(post, report);
    return post;
}

QByteArray ComposeAdListRequest(const QString &remoteHost)
{
    const QString request = QStringLiteral("GET /Orvane/Ads HTTP/1.1\r\n") + QStringLiteral("Host: ")
        + trimSpaces(remoteHost) + QStringLiteral("\r\n") + QStringLiteral("Cache-Control: no-cache\r\n")
        + QStringLiteral("\r\n");
    return OVHelperFunctions::StringToByteArray(request);
}

bool IsOKResponse(const QByteArray &received)
{
    // Byte for byte: the code page keeps ASCII as it is and maps no other
    // byte onto "200 OK", so comparing bytes is comparing the text.
    bool ok = false;
    guarded(QStringLiteral("IsOKResponse"), [&] {
        const qsizetype space = received.indexOf(' ');
        ok = received.mid(space + 1, 6) == "200 OK";
    });
    return ok;
}

int16_t ContentLength(const QByteArray &received)
{
    return readContentLength(received).value;
}

int16_t HeaderLength(const QByteArray &received)
{
    return readHeaderLength(received).value;
}

ContentHeader ReadContentHeader(const QByteArray &received)
{
    ContentHeader header;
    const LengthLine length = readContentLength(received);
    const HeaderEnd end = readHeaderLength(received);
    header.contentLength = length.value;
    header.headerLength = end.value;
    // The length line must belong to the header, not to the content after it.
    header.usable = length.found && end.found && length.start < end.value && length.value >= 0;
    return header;
}

} // namespace orvane::OVFraming
