#include "tests/support/loopbackservices.h"

#include "sources/serviceaddresses.h"

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
    const auto text = [](const Suggestion &s) {
        return QStringLiteral("[%1|%2|%3|%4]")
            .arg(s.searches, s.keyword, s.results, QString::number(s.hasAds));
    };
    for (qsizetype i = 0; i < sample.size(); ++i) {
        const QString expected = text(expectedEntry(sample[i]));
        if (text(table.entries[std::size_t(i)]) != expected)
            return QStringLiteral("row %1: %2, not %3")
                .arg(i)
                .arg(text(table.entries[std::size_t(i)]), expected);
    }
    return {};
}

QString phraseWithCountAndAds(const QString &seed)
{
    for (const SampleSuggestion &row : sampleSuggestions(seed))
        if (sampleResultCount(row.phrase) >= 0 && sampleHasAds(row.phrase))
            return row.phrase;
    return {};
}

} // namespace Quorvane::TestSupport
