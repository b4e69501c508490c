#include "exchange/frmTransferControls.h"

#include "exchange/OVHTTPClient.h"
#include "exchange/OVWinsock.h"
#include "platform/Clock.h"
#include "platform/PictureTester.h"
#include "platform/UrlFetcher.h"

namespace orvane {

namespace {
frmTransferControls *s_instance = nullptr;
int s_holders = 0;
} // namespace

frmTransferControls *frmTransferControls::Acquire()
{
    if (!s_instance)
        s_instance = new frmTransferControls;
    ++s_holders;
    return s_instance;
}

void frmTransferControls::Release()
{
    if (s_holders > 0 && --s_holders == 0) {
        delete s_instance;
        s_instance = nullptr;
    }
}

frmTransferControls *frmTransferControls::instance()
{
    return s_instance;
}

frmTransferControls::frmTransferControls()
    : m_winsock(new OVWinsock(this))
{
    m_timer.setTimerType(Qt::CoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &frmTransferControls::Timer1_Timer);
    // The socket is shared: its events belong to whichever client runs now.
    connect(m_winsock, &OVWinsock::Connected, this, [this] {
        if (m_client)
            m_client->mSocket_Connect();
    });
    connect(m_winsock, &OVWinsock::DataArrival, this, [this](qint64 bytes) {
        if (m_client)
            m_client->mSocket_DataArrival(bytes);
    });
    connect(m_winsock, &OVWinsock::SendComplete, this, [this] {
        if (m_client)
            m_client->mSocket_SendComplete();
    });
    connect(m_winsock, &OVWinsock::Closed, this, [this] {
        if (m_client)
            m_client->mSocket_Close();
    });
    connect(m_winsock, &OVWinsock::Error, this, [this](int number, const QString &description) {
        if (m_client)
            m_client->mSocket_Error(number, description);
    });
}

frmTransferControls::~frmTransferControls()
{
    m_timer.stop();
    m_client = nullptr;
}

platform::PictureTester &frmTransferControls::picTest() const
{
    return platform::PictureTester::instance();
}

void frmTransferControls::Timer1_Timer()
{
    if (m_timeout <= 0 || !m_client)
        return;
    const auto seconds = [](const QDateTime &t) { return t.toMSecsSinceEpoch() / 1000; };
    const qint64 now = seconds(platform::Clock::instance().localNow());
    int32_t limit = 0;
    // Silence counts while the server is talked to; the images that follow
    // have a budget of their own.
    if (!m_client->isRetrievingImages() && now - seconds(m_client->lastTouchedDateTime()) > m_timeout)
        limit = m_timeout;
    else if (m_exchangeLimit > 0 && now - seconds(m_started) > m_exchangeLimit)
        limit = m_exchangeLimit;
    if (limit > 0) {
        m_timer.stop();
        m_client->AbortDataExchange(QStringLiteral("timed out after %1 seconds").arg(limit));
    }
}

} // namespace orvane
