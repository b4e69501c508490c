#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <vector>

namespace orvane {

// One locally stored ad. The whole state is one fixed-layout record image;
// every property reads or writes its slot, and the state text is that image
// two bytes per UTF-16 unit, so it is also the ad's form in the data file.
class OVAdvertisement
{
public:
    static constexpr int kImageBytes = 432; // the record image
    static constexpr int kStateUnits = 232; // 216 units of image, 16 of U+0000

    // Slot widths of the text fields, in UTF-16 units.
    static constexpr int kGUIDWidth = 38;
    static constexpr int kAdvertiserNameWidth = 60;
    static constexpr int kClickURLWidth = 50;
    static constexpr int kImageFileNameWidth = 50;

    // The records of one catalogue whose Visible flag may be set, so that a
    // new group clears those alone instead of every record.
    class VisibleRecords
    {
    public:
        // Sets Visible false on every listed record and empties the list.
        void clearAll();

    private:
        friend class OVAdvertisement;
        void add(OVAdvertisement *ad);
        void remove(OVAdvertisement *ad);
        std::vector<OVAdvertisement *> m_records;
    };

    OVAdvertisement() = default;
    // A copy is a free-standing record: it is in no catalogue's list.
    OVAdvertisement(const OVAdvertisement &other)
        : m_image(other.m_image)
    {
    }
    OVAdvertisement &operator=(const OVAdvertisement &other);
    ~OVAdvertisement();

    // All 38 units as stored.
    QString AdGUID() const;
    // Trimmed of spaces, then fitted to 38.
    void setAdGUID(const QString &value);
    // Trimmed of spaces on reading; stored as given, fitted to 60.
    QString AdvertiserName() const;
    void setAdvertiserName(const QString &value);
    double ExpirationDate() const;
    void setExpirationDate(double value);
    // Trimmed on writing and on reading, fitted to 50.
    QString ClickURL() const;
    void setClickURL(const QString &value);
    int32_t Rating() const;
    void setRating(int32_t value);
    int32_t ImageFormat() const;
    void setImageFormat(int32_t value);
    int16_t ClickCount() const;
    void setClickCount(int16_t value);
    // Universal time.
    double LastViewTime() const;
    void setLastViewTime(double value);
    // Trimmed of spaces on reading; stored as given, fitted to 50.
    QString ImageFileName() const;
    void setImageFileName(const QString &value);
    int32_t Size() const;
    void setSize(int32_t value);
    int16_t ViewCount() const;
    void setViewCount(int16_t value);
    bool Visible() const;
    void setVisible(bool value);

    // The 232-unit state text; its Visible slot is always 0.
    QString GetState() const;
    // Replaces the whole record from the first 432 bytes of sState, fitted to
    // 232 units with U+0020.
    void SetState(QStringView sState);

    // Add with 16-bit overflow checking: fault 6 and nothing changes.
    void IncrementClickCount(int16_t Clicks);
    // The same for the views; stamps LastViewTime with the universal time.
    void IncrementViewCount(int16_t Clicks);

    // The raw record image (tests, the data file).
    const std::array<uint8_t, kImageBytes> &image() const { return m_image; }

    // Puts the record on a catalogue's list (nullptr: takes it off), so that
    // setting Visible lists it there.
    void trackVisible(VisibleRecords *list);
    // Takes it off that list, if it is the record's list.
    void untrackVisible(const VisibleRecords *list)
    {
        if (m_visibleList == list)
            trackVisible(nullptr);
    }

private:
    void noteVisible();

    QString readText(int offset, int width) const;
    void writeText(int offset, int width, const QString &value);
    template <typename T>
    T readNumber(int offset) const;
    template <typename T>
    void writeNumber(int offset, T value);

    std::array<uint8_t, kImageBytes> m_image {};
    VisibleRecords *m_visibleList = nullptr;
    bool m_listed = false;
};

} // namespace orvane
