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

// A keyword is one line of text: a line break, tab or other control character typed or pasted
// into it would split the history entry, the settings value, the list's caption and the
// report's first line. Each becomes a space, before the keyword is used anywhere.
inline QString keywordText(QString text)
{
    for (QChar &c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            c = u' ';
    }
    return text;
}

} // namespace Quorvane
