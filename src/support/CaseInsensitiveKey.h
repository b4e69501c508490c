#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvane {

// A text key that hashes and compares without regard to case, as its case
// folding would. ASCII text (every GUID) is folded unit by unit on the fly, so
// neither a look-up nor an insertion copies the key.
class CaseInsensitiveKey
{
public:
    explicit CaseInsensitiveKey(const QString &text)
        : m_text(text)
    {
    }

    const QString &text() const { return m_text; }

    friend bool operator==(const CaseInsensitiveKey &a, const CaseInsensitiveKey &b)
    {
        const qsizetype n = a.m_text.size();
        const char16_t *x = a.units();
        const char16_t *y = b.units();
        for (qsizetype i = 0; i < n && i < b.m_text.size(); ++i) {
            if (x[i] == y[i])
                continue;
            if (x[i] >= 0x80 || y[i] >= 0x80)
                return a.m_text.toCaseFolded() == b.m_text.toCaseFolded();
            if (lower(x[i]) != lower(y[i]))
                return false;
        }
        if (n == b.m_text.size())
            return true;
        // Folding may change the length of text past ASCII.
        return !(a.isAscii() && b.isAscii()) && a.m_text.toCaseFolded() == b.m_text.toCaseFolded();
    }

    friend size_t qHash(const CaseInsensitiveKey &key, size_t seed = 0)
    {
        uint64_t high = 0;
        const size_t hash = mix(key.units(), key.m_text.size(), seed, high);
        // Past ASCII the text is folded first; ASCII folds the same either way.
        if (high & kNotAscii) {
            const QString folded = key.m_text.toCaseFolded();
            return mix(reinterpret_cast<const char16_t *>(folded.utf16()), folded.size(), seed, high);
        }
        return hash;
    }

private:
    static constexpr uint64_t kNotAscii = 0xFF80FF80FF80FF80u;
    static constexpr uint64_t kLowerBits = 0x0020002000200020u; // a letter's case bit in each unit

    // Hashes the units with every case bit set, so that ASCII letters hash
    // alike in either case, four units at a time; `high` collects the bits
    // that tell whether the text is all ASCII.
    static size_t mix(const char16_t *units, qsizetype n, size_t seed, uint64_t &high)
    {
        constexpr uint64_t kOdd = 0x9E3779B97F4A7C15u;
        uint64_t h = uint64_t(seed) ^ (uint64_t(n) * kOdd);
        qsizetype i = 0;
        for (; i + 4 <= n; i += 4) {
            uint64_t word;
            std::memcpy(&word, units + i, sizeof word);
            high |= word;
            h = (h ^ (word | kLowerBits)) * kOdd;
        }
        for (; i < n; ++i) {
            high |= units[i];
            h = (h ^ (units[i] | 0x20u)) * kOdd;
        }
        // Spread the high bits into the low ones, which pick the bucket.
        h ^= h >> 33;
        h *= 0xFF51AFD7ED558CCDu;
        h ^= h >> 29;
        return size_t(h);
    }

    static char16_t lower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + (u'a' - u'A')) : c; }
    const char16_t *units() const { return reinterpret_cast<const char16_t *>(m_text.utf16()); }
    bool isAscii() const
    {
        const char16_t *u = units();
        for (qsizetype i = 0; i < m_text.size(); ++i) {
            if (u[i] >= 0x80)
                return false;
        }
        return true;
    }

    QString m_text;
};

} // namespace orvane
