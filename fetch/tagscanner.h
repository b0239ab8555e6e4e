#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace Quorvane {

// A tag of a page: the positions of its "<" and of the first ">" after it. Positions count
// from 1; position 0 lies before the first character, so the text between 0 and p starts with
// the page's first character.
struct TagSpan
{
    qsizetype start = 0;
    qsizetype end = 0;

    friend bool operator==(const TagSpan &, const TagSpan &) = default;
};

// The first "<" at or after scanPosition and the first ">" after it; none when either is
// missing. Scanning from 0 (or 1) gives the page's first tag.
std::optional<TagSpan> findNextTag(QStringView page, qsizetype scanPosition);

// The characters strictly after position `after` and strictly before position `before`.
QStringView textBetween(QStringView page, qsizetype after, qsizetype before);

inline QStringView tagText(QStringView page, TagSpan tag)
{
    return textBetween(page, tag.start, tag.end);
}

// The lower-case first word of a tag's text ("&nbsp;" counting as a space); none when the
// text holds nothing but spaces, which the parsers treat as a broken page.
std::optional<QString> tagName(QStringView tagText);

// Removes every tag from a piece of page text; a tag reading exactly "br" (any case) becomes
// one space. A "<" without a ">" after it stays with everything that follows it.
QString stripTags(QStringView text);

// Lower case one UTF-16 unit at a time, so that every position of the result matches the
// same position of the input.
QString lowerCase(QStringView text);

// Removes the space character, and only that, from both ends.
QStringView trimSpaces(QStringView text);

} // namespace Quorvane
