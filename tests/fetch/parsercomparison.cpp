#include "parsercomparison.h"

#include "referenceparsers.h"
#include "tagscanner.h"

#include <QDebug>

namespace Quorvane::Reference {

namespace {

// Quoted, control characters escaped, long texts cut.
QString visible(const QString &text, qsizetype limit = 200)
{
    QString out;
    QDebug(&out) << text.left(limit);
    return text.size() > limit ? out + QStringLiteral("... (%1 units)").arg(text.size()) : out;
}

QString describe(const ParseOutcome &outcome)
{
    const SuggestionTable &table = outcome.table;
    QString text = QStringLiteral("result %1, count %2, none %3, status: %4")
                       .arg(outcome.result)
                       .arg(table.suggestionCount)
                       .arg(table.noSuggestions)
                       .arg(outcome.status.join(QStringLiteral(" | ")));
    for (int i = 0; i < MaxSuggestions; ++i) {
        const Suggestion &s = table.entries[std::size_t(i)];
        if (!s.searches.isEmpty() || !s.keyword.isEmpty() || !s.results.isEmpty() || s.hasAds)
            text += QStringLiteral("\n    %1 %2 %3 %4 %5")
                        .arg(QString::number(i), visible(s.searches, 80), visible(s.keyword, 80),
                             visible(s.results, 80), QString::number(s.hasAds));
    }
    return text;
}

template<typename KeywordParser, typename ResultParser>
ParseOutcome parse(const ParseCase &parse, KeywordParser keyword, ResultParser results)
{
    ParseOutcome outcome {false, {}, parse.table};
    bool stop = parse.stopAfter == 0;
    const StatusSink sink = [&](const QString &text) {
        outcome.status << text;
        stop = stop || (parse.stopAfter > 0 && outcome.status.size() >= parse.stopAfter);
    };
    for (const QString &page : parse.pages) {
        outcome.result = parse.keywordPages ? keyword(page, parse.key, outcome.table, stop, sink)
                                            : results(page, parse.key, outcome.table, stop, sink);
    }
    return outcome;
}

} // namespace

ParseOutcome parseFast(const ParseCase &parse)
{
    return Reference::parse(parse, Quorvane::parseKeyword, Quorvane::parseGoogleResults);
}

ParseOutcome parseReference(const ParseCase &parse)
{
    return Reference::parse(parse, Reference::parseKeyword, Reference::parseGoogleResults);
}

QString outcomeDifference(const ParseOutcome &fast, const ParseOutcome &reference)
{
    const auto same = [](const Suggestion &x, const Suggestion &y) {
        return x.searches == y.searches && x.keyword == y.keyword && x.results == y.results
            && x.hasAds == y.hasAds;
    };
    const SuggestionTable &a = fast.table;
    const SuggestionTable &b = reference.table;
    if (fast.result == reference.result && fast.status == reference.status
        && a.suggestionCount == b.suggestionCount && a.noSuggestions == b.noSuggestions
        && std::equal(a.entries.cbegin(), a.entries.cend(), b.entries.cbegin(), same))
        return {};
    return QStringLiteral("fast: %1\nreference: %2").arg(describe(fast), describe(reference));
}

QString textDifference(const QString &text)
{
    const QString fast[] = {Quorvane::stripTags(text), Quorvane::lowerCase(text),
                            Quorvane::trimSpaces(text).toString()};
    const QString reference[] = {stripTags(text), lowerCase(text), trimSpaces(text)};
    const char *const names[] = {"stripTags", "lowerCase", "trimSpaces"};
    for (int i = 0; i < 3; ++i) {
        if (fast[i] != reference[i])
            return QStringLiteral("%1 of %2: %3, reference %4")
                .arg(QLatin1String(names[i]), visible(text), visible(fast[i]),
                     visible(reference[i]));
    }
    return {};
}

} // namespace Quorvane::Reference
