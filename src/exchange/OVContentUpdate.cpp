#include "exchange/OVContentUpdate.h"

#include "exchange/OVByteReader.h"
#include "exchange/OVByteWriter.h"
#include "support/ErrorHandler.h"
#include "support/OVSimpleLog.h"
#include "support/TrimSpaces.h"

#include <QStringView>

#include <bit>
#include <cstring>

namespace orvane {

namespace {
// Each text with its terminator, the 16-byte date and the three one-byte numbers.
qsizetype recordSize(const OVAdOffering &offering)
{
    return trimSpaces(offering.AdGUID()).size() + 1 + trimSpaces(offering.AdvertiserGUID()).size() + 1 + 16
        + trimSpaces(offering.ClickURL()).size() + 1 + 3 + trimSpaces(offering.ImageFileName()).size() + 1;
}

// The fixed-width form: a header of 56 units, then records of 196.
constexpr qsizetype kHeaderUnits = 56;
constexpr qsizetype kRecordUnits = 196;
constexpr qsizetype kMaxTextUnits = 32'767;

// Numbers span whole units, the low unit first.
uint32_t unitsToUInt32(QStringView units)
{
    return uint32_t(units[0].unicode()) | uint32_t(units[1].unicode()) << 16;
}

double unitsToDouble(QStringView units)
{
    uint64_t bits = 0;
    for (int i = 3; i >= 0; --i)
        bits = bits << 16 | units[i].unicode();
    return std::bit_cast<double>(bits);
}
} // namespace

OVContentUpdate::OVContentUpdate() = default;

OVContentUpdate::~OVContentUpdate()
{
    m_adOfferings.Clear();
}

int OVContentUpdate::keyPosition(const QString &key) const
{
    if (!key.isEmpty())
        return m_adOfferings.indexOf(key);
    // The collection indexes only non-empty keys; an offering added under
    // the empty key is still the one entry with that key.
    for (int i = 1; i <= m_adOfferings.Count(); ++i) {
        if (m_adOfferings.KeyAt(i).isEmpty())
            return i;
    }
    return 0;
}

std::shared_ptr<OVAdOffering> OVContentUpdate::AddAnOffering(const QString &AdGUID, const QString &AdvertiserGUID,
    const QString &ClickURL, double ExpirationDate, int32_t ImageFormat, const QString &ImageFileName, int32_t Rating,
    int32_t Size)
{
    if (AdGUID.isEmpty() && keyPosition(AdGUID) != 0)
        raiseFault(FaultDuplicateKey);
    auto offering = std::make_shared<OVAdOffering>();
    offering->setAdGUID(AdGUID);
    offering->setAdvertiserGUID(AdvertiserGUID);
    offering->setClickURL(ClickURL);
    offering->setExpirationDate(ExpirationDate);
    offering->setImageFormat(ImageFormat);
    offering->setImageFileName(ImageFileName);
    offering->setRating(Rating);
    offering->setSize(Size);
    m_adOfferings.Add(offering, AdGUID);
    return offering;
}

std::shared_ptr<OVAdOffering> OVContentUpdate::AdOffering(int16_t Index) const
{
    if (Index > m_adOfferings.Count())
        return {};
    return m_adOfferings.Item(Index);
}

QByteArray OVContentUpdate::GetStateIntoByteArray()
{
    ErrorHandler handler(QStringLiteral("OVContentUpdate.GetStateIntoByteArray"));
    OVByteWriter writer(handler);

    writer.emitByte(5);
    writer.emitByte(0); // the count, once it is known
    writer.emitText(m_baseURL);
    writer.emitTerminator();

    // Only whole records go out: those that do not fit are left out, and the
    // count says how many follow.
    const int total = m_adOfferings.Count();
    int fitting = 0;
    qsizetype room = writer.room();
    for (const auto &offering : m_adOfferings) {
        const qsizetype size = recordSize(*offering);
        if (size > room)
            break;
        room -= size;
        ++fitting;
    }
    if (fitting < total) {
        handler.step([&] {
            OVSimpleLog::LogWarning(
                QStringLiteral("Content update full: %1 of %2 ad offerings left out").arg(total - fitting).arg(total));
        });
    }
    m_offeringsInLastState = fitting;
    writer.putAt(1, fitting);

    for (int i = 1; i <= fitting; ++i) {
        const OVAdOffering &offering = *m_adOfferings.Item(i);
        writer.emitText(trimSpaces(offering.AdGUID()));
        writer.emitTerminator();
        writer.emitText(trimSpaces(offering.AdvertiserGUID()));
        writer.emitTerminator();
        writer.emitDate(offering.ExpirationDate());
        writer.emitText(trimSpaces(offering.ClickURL()));
        writer.emitTerminator();
        writer.emitByte(offering.Size());
        writer.emitByte(offering.Rating());
        writer.emitByte(offering.ImageFormat());
        writer.emitText(trimSpaces(offering.ImageFileName()));
        writer.emitTerminator();
    }
    return writer.finish();
}

void OVContentUpdate::SetStateFromByteArray(const QByteArray &bytes)
{
    ErrorHandler handler(QStringLiteral("OVContentUpdate.SetStateFromByteArray"));
    handler.step([&] { m_adOfferings.Clear(); });

    // Every read checks the bounds and reports a failure without throwing: a
    // buffer that ends early fails each further read, at most 255 records of
    // eight reads each.
    OVByteReader reader(bytes, 1); // the tag is not read
    uint8_t count = 0;
    reader.byte(handler, count);
    reader.setPosition(2);
    QString baseURL;
    reader.text(handler, baseURL);
    m_baseURL = baseURL;
    reader.skip();

    // Nothing else touches the collection while it is read, so whether the
    // empty key is taken need not be searched for at every record.
    bool emptyKeyTaken = keyPosition(QString()) != 0;
    for (int i = 0; i < count; ++i) {
        QString key, advertiser, clickURL, imageFileName;
        double expiration = 0;
        uint8_t size = 0, rating = 0, imageFormat = 0;
        reader.text(handler, key);
        reader.skip();
        reader.text(handler, advertiser);
        reader.skip();
        reader.date(handler, expiration);
        reader.text(handler, clickURL);
        reader.skip();
        reader.byte(handler, size);
        reader.byte(handler, rating);
        reader.byte(handler, imageFormat);
        reader.text(handler, imageFileName);
        reader.skip();
        // A record cut short is still added with the fields read so far (a
        // failed read leaves its field as a new offering has it); the image
        // retrieval drops it.
        if (key.isEmpty() ? emptyKeyTaken : m_adOfferings.Contains(key)) {
            handler.fail(OVFault(FaultDuplicateKey, QStringLiteral("Ad %1 is offered twice").arg(key)));
            continue;
        }
        handler.step([&] {
            auto offering = std::make_shared<OVAdOffering>();
            offering->setAdGUID(key);
            offering->setAdvertiserGUID(advertiser);
            offering->setExpirationDate(expiration);
            offering->setClickURL(clickURL);
            offering->setSize(size);
            offering->setRating(rating);
            offering->setImageFormat(imageFormat);
            offering->setImageFileName(imageFileName);
            m_adOfferings.Add(offering, key);
            emptyKeyTaken = emptyKeyTaken || key.isEmpty();
        });
    }
}

bool OVContentUpdate::SetState(const QString &sData)
{
    const QString source = QStringLiteral("OVContentUpdate.SetState");
    return guarded(source, [&] {
        if (sData.size() > kMaxTextUnits)
            raiseFault(FaultOverflow, QStringLiteral("%1 units do not fit 16 bits").arg(sData.size()));
        const qsizetype length = sData.size();
        m_adOfferings.Clear();
        if (length < 2)
            raiseFault(FaultInvalidCall, QStringLiteral("No offering count"));
        const int count = int16_t(sData[1].unicode());
        m_baseURL = sData.mid(3, 50);

        const QStringView data(sData);
        for (int i = 0; i < count; ++i) {
            const qsizetype start = kHeaderUnits + kRecordUnits * i;
            if (start + kRecordUnits > length) {
                if (start < length) {
                    guarded(source, [] {
                        OVSimpleLog::LogWarning(QStringLiteral("Corrupt Content Update - incorrect buffer size"));
                    });
                }
                continue;
            }
            const QStringView record = data.mid(start, kRecordUnits);
            AddAnOffering(record.mid(0, 38).toString(), record.mid(38, 38).toString(), record.mid(86, 50).toString(),
                unitsToDouble(record.mid(76, 4)), int32_t(unitsToUInt32(record.mid(84, 2))),
                record.mid(136, 50).toString(), int32_t(unitsToUInt32(record.mid(82, 2))),
                int32_t(unitsToUInt32(record.mid(80, 2))));
        }
    });
}

int32_t OVContentUpdate::AdSizeWeight(int32_t Size)
{
    switch (Size) {
    case 1: return 30;
    case 2: return 45;
    case 3: return 20;
    case 6: return 10;
    default: return 0;
    }
}

void OVContentUpdate::SlimDownToSize(int32_t SizeLimit)
{
    guarded(QStringLiteral("OVContentUpdate.SlimDown"), [&] {
        const int count = m_adOfferings.Count();
        int32_t total = 0;
        bool removing = false;
        for (int i = count; i >= 1; --i) {
            if (removing) {
                m_adOfferings.Remove(i);
            } else {
                total += AdSizeWeight(m_adOfferings.Item(i)->Size());
                removing = total > SizeLimit;
            }
        }
    });
}

void OVContentUpdate::RemoveOffering(const QString &AdGUID)
{
    guarded(QStringLiteral("OVContentUpdate.RemoveOffering"), [&] {
        const int at = keyPosition(AdGUID);
        if (at == 0)
            raiseFault(FaultInvalidCall, QStringLiteral("No offering under the key %1").arg(AdGUID));
        m_adOfferings.Remove(at);
    });
}

void OVContentUpdate::RemoveOffering(const std::shared_ptr<OVAdOffering> &offering)
{
    guarded(QStringLiteral("OVContentUpdate.RemoveOffering"), [&] {
        for (int i = 1; i <= m_adOfferings.Count(); ++i) {
            if (m_adOfferings.Item(i) == offering) {
                m_adOfferings.Remove(i);
                return;
            }
        }
        raiseFault(FaultInvalidCall, QStringLiteral("The offering is not in the content update"));
    });
}

} // namespace orvane
