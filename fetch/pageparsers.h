#pragma once

#include "results/suggestiontable.h"

#include <QString>
#include <QStringView>

#include <functional>

namespace Quorvane {

// Receives every status text a parser or the fetcher writes, in order.
using StatusSink = std::function<void(const QString &)>;

// Reads a keyword database page: up to 100 (searches, phrase) cell pairs of its table body
// are appended to the table. True when the table holds at least one row afterwards.
bool parseKeyword(QStringView html, QStringView tag, SuggestionTable &table,
                  const bool &stopRequested, const StatusSink &status);

// Reads one search engine result page into the entry named by tag: result count and
// sponsored-link flag. True when the walk reached its end or found sponsored links.
bool parseGoogleResults(QStringView html, QStringView tag, SuggestionTable &table,
                        const bool &stopRequested, const StatusSink &status);

// The table entry a result page's download key names: the whole number the key starts with
// (an optional sign, then digits), 0 when it starts with none.
int entryIndexFromKey(QStringView tag);

} // namespace Quorvane
