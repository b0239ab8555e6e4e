#include "loopbackservices.h"

#include "samplepages.h"
#include "serviceaddresses.h"

namespace Quorvane::TestSupport {

LoopbackServices::~LoopbackServices()
{
    overrideEndpoints(std::nullopt);
}

bool LoopbackServices::start()
{
    if (!m_services.start())
        return false;
    overrideEndpoints(m_services.endpoints());
    return true;
}

Suggestion expectedEntry(const SampleSuggestion &row)
{
    const qint64 results = sampleResultCount(row.phrase);
    return {QString::number(row.searches), row.phrase,
            results >= 0 ? QString::number(results) : QString(), sampleHasAds(row.phrase)};
}

QString differenceFromSample(const SuggestionTable &table, const QString &seed, int rows)
{
    const QList<SampleSuggestion> sample = sampleSuggestions(seed, rows);
    if (table.suggestionCount != sample.size())
        return QStringLiteral("%1 rows, not %2").arg(table.suggestionCount).arg(sample.size());
    for (qsizetype i = 0; i < sample.size(); ++i) {
        const Suggestion expected = expectedEntry(sample[i]);
        const Suggestion &entry = table.entries[std::size_t(i)];
        if (entry.searches != expected.searches || entry.keyword != expected.keyword
            || entry.results != expected.results || entry.hasAds != expected.hasAds)
            return QStringLiteral("row %1: [%2|%3|%4|%5], not [%6|%7|%8|%9]")
                .arg(i)
                .arg(entry.searches, entry.keyword, entry.results)
                .arg(entry.hasAds)
                .arg(expected.searches, expected.keyword, expected.results)
                .arg(expected.hasAds);
    }
    return {};
}

QString phraseWithCountAndAds(const QString &seed)
{
    for (const SampleSuggestion &row : sampleSuggestions(seed)) {
        if (sampleResultCount(row.phrase) >= 0 && sampleHasAds(row.phrase))
            return row.phrase;
    }
    return {};
}

} // namespace Quorvane::TestSupport
