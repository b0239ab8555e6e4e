#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace Quorvane {

// One row of the sample keyword database page.
struct SampleSuggestion
{
    qint64 searches = 0;
    QString phrase;
};

// Everything below is deterministic: the same phrase always gives the same figures, so tests
// can compute what a run over the sample services must produce.

// The rows the keyword database page lists for a seed, in page order (most searched first).
// The seed "nothing" lists no rows. Phrases are lower case; a seed holding the word "zero"
// gives every tenth row a search count of 0.
QList<SampleSuggestion> sampleSuggestions(const QString &seed, int rowCount = 100);
QByteArray sampleKeywordPage(const QString &seed, int rowCount = 100);

// The result count the phrase's result page shows, or -1 when the page shows none. Phrases
// holding the word "uncounted" (every phrase of that seed) never show one.
qint64 sampleResultCount(const QString &phrase);
// Whether the phrase's result page carries sponsored links.
bool sampleHasAds(const QString &phrase);
QByteArray sampleResultPage(const QString &phrase);

QByteArray sampleProductPage();

// "1234567" -> "1,234,567"
QString groupThousands(qint64 value);

} // namespace Quorvane
