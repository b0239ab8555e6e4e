#pragma once

// The page parsers written down as plainly as their rules read, with no regard for speed: the
// judge that the fast parsers are checked against on generated pages.

#include "pageparsers.h"

#include <QString>

namespace Quorvane::Reference {

QString stripTags(QString chunk);
QString lowerCase(QString text);
QString trimSpaces(const QString &text);

bool parseKeyword(const QString &html, const QString &tag, SuggestionTable &table,
                  const bool &stopRequested, const StatusSink &status);
bool parseGoogleResults(const QString &html, const QString &tag, SuggestionTable &table,
                        const bool &stopRequested, const StatusSink &status);

} // namespace Quorvane::Reference
