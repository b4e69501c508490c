#pragma once

#include <QString>

namespace orvane {

// Removes leading and trailing spaces (U+0020 only, as the record setters and
// the writers trim), keeping tabs and other blanks.
inline QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return begin == 0 && end == text.size() ? text : text.mid(begin, end - begin);
}

} // namespace orvane
