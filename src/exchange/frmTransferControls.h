#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>

namespace orvane {

class OVHTTPClient;
class OVWinsock;

namespace platform {
class PictureTester;
class UrlFetcher;
} // namespace platform

// The process-wide transfer controls: one socket, one time-out timer, the URL
// fetcher and the picture tester, and the client now running an exchange (one
// exchange at a time). A hidden object, not a window: created at the first
// Acquire and unloaded when the last client lets go. The socket's events and
// the timer's ticks go to the running client only.
class frmTransferControls : public QObject
{
    Q_OBJECT

public:
    // The shared instance, created when there is none; every Acquire is
    // matched by one Release.
    static frmTransferControls *Acquire();
    static void Release();
    // The shared instance if it is loaded, else none.
    static frmTransferControls *instance();

    OVWinsock *Winsock1() const { return m_winsock; }
    QTimer *Timer1() { return &m_timer; }
    platform::PictureTester &picTest() const;

    OVHTTPClient *client() const { return m_client; }
    void setClient(OVHTTPClient *client) { m_client = client; }
    int32_t Timeout() const { return m_timeout; }
    void setTimeout(int32_t seconds) { m_timeout = seconds; }
    // The bound on the whole exchange: it ends as a time-out does once more
    // than `seconds` have passed since `start`.
    void setExchangeLimit(const QDateTime &start, int32_t seconds)
    {
        m_started = start;
        m_exchangeLimit = seconds;
    }

private:
    frmTransferControls();
    ~frmTransferControls() override;

    void Timer1_Timer();

    OVWinsock *m_winsock;
    QTimer m_timer;
    QPointer<OVHTTPClient> m_client;
    int32_t m_timeout = 0;
    QDateTime m_started;
    int32_t m_exchangeLimit = 0;
};

} // namespace orvane
