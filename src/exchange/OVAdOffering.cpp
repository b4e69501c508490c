#include "exchange/OVAdOffering.h"

#include "support/OVSimpleLog.h"
#include "support/OleDate.h"
#include "support/TrimSpaces.h"

namespace orvane {

void OVAdOffering::setAdGUID(const QString &value)
{
    m_adGUID = trimSpaces(value);
}

void OVAdOffering::DumpToTraceLog() const
{
    using OVSimpleLog::WriteTraceLine;
    WriteTraceLine(QStringLiteral("AdID: ") + m_adGUID);
    WriteTraceLine(QStringLiteral("AdvertiserID: ") + m_advertiserGUID);
    WriteTraceLine(QStringLiteral("ClickURL: ") + m_clickURL);
    WriteTraceLine(QStringLiteral("ExpirationDate: ") + OleDate::toDate(m_expirationDate).toString(u"MM/dd/yy"));
    WriteTraceLine(QStringLiteral("ImageFormat: ") + QString::number(m_imageFormat));
    WriteTraceLine(QStringLiteral("ImageFileName: ") + m_imageFileName);
    WriteTraceLine(QStringLiteral("Rating: ") + QString::number(m_rating));
    WriteTraceLine(QStringLiteral("Size: ") + QString::number(m_size));
}

} // namespace orvane
