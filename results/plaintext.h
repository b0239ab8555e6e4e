#pragma once

#include <QString>
#include <QStringView>

namespace Quorvane {

// Removes the space character, and only that, from both ends.
inline QStringView trimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

// A line break inside a cell would split its report line; it shows as a space instead.
inline QString singleLine(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text;
}

} // namespace Quorvane
