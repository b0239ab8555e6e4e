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
QList<SampleSuggestion> SampleSuggestions(const QString &seed, int rowCount = 100);
QByteArray SampleKeywordPage(const QString &seed, int rowCount = 100);

// The result count the phrase's result page shows, or -1 when the page shows none.
qint64 SampleResultCount(const QString &phrase);
// Whether the phrase's result page carries sponsored links.
bool SampleHasAds(const QString &phrase);
QByteArray SampleResultPage(const QString &phrase);

QByteArray SampleProductPage();

// "1234567" -> "1,234,567"
QString GroupThousands(qint64 value);

} // namespace Quorvane
