#pragma once

// The page parsers written down as plainly as their rules read, with no regard for speed: the
// judge that the fast parsers are checked against on generated pages.

#include "pageparsers.h"

#include <QString>

#include <optional>

namespace Quorvane::Reference {

struct Tag
{
    qsizetype start = 0; // position of "<", counted from 1
    qsizetype end = 0; // position of the first ">" after it
};

std::optional<Tag> findNextTag(const QString &page, qsizetype scanPosition);
QString textBetween(const QString &page, qsizetype after, qsizetype before);
std::optional<QString> tagName(const QString &tagText);
QString stripTags(QString chunk);
QString lowerCase(QString text);
QString trimSpaces(const QString &text);

bool parseKeyword(const QString &html, const QString &tag, SuggestionTable &table,
                  const bool &stopRequested, const StatusSink &status);
bool parseGoogleResults(const QString &html, const QString &tag, SuggestionTable &table,
                        const bool &stopRequested, const StatusSink &status);

} // namespace Quorvane::Reference
