#include "parsercomparison.h"

#include "referenceparsers.h"
#include "tagscanner.h"

namespace Quorvane::Reference {

namespace {

// Control characters and lone surrogates shown as escapes, long texts cut.
QString visible(const QString &text, qsizetype limit = 200)
{
    QString out;
    for (qsizetype i = 0; i < text.size() && i < limit; ++i) {
        const char16_t u = text.at(i).unicode();
        if (u < 0x20 || u == 0x7f || (u >= 0xd800 && u <= 0xdfff))
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        else
            out += text.at(i);
    }
    if (text.size() > limit)
        out += QStringLiteral("... (%1 units)").arg(text.size());
    return out;
}

QString describe(const ParseOutcome &outcome)
{
    const SuggestionTable &table = outcome.table;
    QStringList lines {QStringLiteral("result %1, count %2, none %3")
                           .arg(outcome.result)
                           .arg(table.suggestionCount)
                           .arg(table.noSuggestions),
                       QStringLiteral("status: ") + outcome.status.join(QStringLiteral(" | "))};
    for (int i = 0; i < MaxSuggestions; ++i) {
        const Suggestion &s = table.entries[std::size_t(i)];
        if (!s.searches.isEmpty() || !s.keyword.isEmpty() || !s.results.isEmpty() || s.hasAds)
            lines << QStringLiteral("%1 [%2] [%3] [%4] %5")
                         .arg(i)
                         .arg(visible(s.searches, 80), visible(s.keyword, 80),
                              visible(s.results, 80))
                         .arg(s.hasAds);
    }
    return lines.join(QStringLiteral("\n    "));
}

template<typename KeywordParser, typename ResultParser>
ParseOutcome parse(const ParseCase &parse, KeywordParser keyword, ResultParser results)
{
    ParseOutcome outcome;
    outcome.table = parse.table;
    bool stop = parse.stopAfter == 0;
    const StatusSink sink = [&](const QString &text) {
        outcome.status << text;
        if (parse.stopAfter > 0 && outcome.status.size() >= parse.stopAfter)
            stop = true;
    };
    for (const QString &page : parse.pages) {
        outcome.result = parse.keywordPages ? keyword(page, parse.key, outcome.table, stop, sink)
                                            : results(page, parse.key, outcome.table, stop, sink);
    }
    return outcome;
}

bool sameEntry(const Suggestion &x, const Suggestion &y)
{
    return x.searches == y.searches && x.keyword == y.keyword && x.results == y.results
        && x.hasAds == y.hasAds;
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
    const SuggestionTable &a = fast.table;
    const SuggestionTable &b = reference.table;
    if (fast.result == reference.result && fast.status == reference.status
        && a.suggestionCount == b.suggestionCount && a.noSuggestions == b.noSuggestions
        && std::equal(a.entries.cbegin(), a.entries.cend(), b.entries.cbegin(), sameEntry))
        return {};
    return QStringLiteral("fast:\n    %1\nreference:\n    %2")
        .arg(describe(fast), describe(reference));
}

QString textDifference(const QString &text)
{
    const auto differs = [&text](const char *what, const QString &fast, const QString &reference) {
        return QStringLiteral("%1 of [%2]: [%3], reference [%4]")
            .arg(QLatin1String(what), visible(text), visible(fast), visible(reference));
    };
    const QString stripped = Quorvane::stripTags(text);
    if (const QString expected = Reference::stripTags(text); stripped != expected)
        return differs("stripTags", stripped, expected);
    const QString lower = Quorvane::lowerCase(text);
    if (const QString expected = Reference::lowerCase(text); lower != expected)
        return differs("lowerCase", lower, expected);
    const QString trimmed = Quorvane::trimSpaces(text).toString();
    if (const QString expected = Reference::trimSpaces(text); trimmed != expected)
        return differs("trimSpaces", trimmed, expected);
    return {};
}

} // namespace Quorvane::Reference
