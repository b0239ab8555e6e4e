#include "tests/fetch/parsercomparison.h"

#include "fetch/tagscanner.h"

#include <QDebug>
#include <QLocale>

#include <cmath>
#include <optional>

namespace Quorvane::Reference {

namespace {

QString lowerCase(QString text)
{
    for (QChar &c : text)
        c = c.toLower();
    return text;
}

QString trimSpaces(QString text)
{
    while (text.startsWith(u' '))
        text.remove(0, 1);
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

QString stripTags(QString chunk)
{
    // Nothing before a removed tag can start another one, so the search goes on from there.
    for (qsizetype open = 0; (open = chunk.indexOf(u'<', open)) >= 0;) {
        const qsizetype close = chunk.indexOf(u'>', open + 1);
        if (close < 0)
            break;
        const bool br = lowerCase(chunk.mid(open + 1, close - open - 1)) == QLatin1String("br");
        chunk.replace(open, close - open + 1, br ? QStringLiteral(" ") : QString());
    }
    return chunk;
}

// An optional sign, then ASCII digits; 0 without digits.
int entryNumber(const QString &tag)
{
    qint64 value = 0;
    for (qsizetype at = tag.startsWith(u'-') || tag.startsWith(u'+') ? 1 : 0;
         at < tag.size() && tag.at(at) >= u'0' && tag.at(at) <= u'9'; ++at)
        value = std::min<qint64>(value * 10 + tag.at(at).digitValue(), 1000000000);
    return int(tag.startsWith(u'-') ? -value : value);
}

// English number rules, as the result pages are English whatever the user's locale.
QString wholeNumber(const QString &word)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    bool ok = false;
    const qlonglong whole = english.toLongLong(word, &ok);
    if (ok)
        return QString::number(whole);
    const double value = english.toDouble(word, &ok);
    return ok && std::isfinite(value) ? QString::number(std::round(value), 'f', 0) : word;
}

enum class Outcome { Nothing, Count, Ads, Failed };

Outcome examineChunk(QString chunk, int entry, SuggestionTable &table, const StatusSink &status)
{
    static const QString marker = QStringLiteral("results 1 - 10 of about");
    chunk.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    const QString lower = lowerCase(stripTags(chunk));
    const qsizetype at = lower.indexOf(marker);
    const bool ads =
        lower.contains(QLatin1String("sponsored")) && lower.contains(QLatin1String("link"));
    if (at < 0 && !ads)
        return Outcome::Nothing;
    const qsizetype wordStart = at + marker.size() + 1;
    if ((at >= 0 && wordStart >= lower.size()) || entry < 0 || entry > 99)
        return Outcome::Failed;
    if (at < 0) {
        table.entries[entry].hasAds = true;
        status(QStringLiteral("Sponsored links founnd"));
        return Outcome::Ads;
    }
    table.entries[entry].results = wholeNumber(lower.mid(wordStart).section(u' ', 0, 0));
    status(QStringLiteral("Parsing ..."));
    return Outcome::Count;
}

// The lower-cased name, up to the first space; nullopt for a tag of nothing but spaces.
std::optional<QString> tagName(const QString &page, qsizetype open, qsizetype close)
{
    const QString trimmed = trimSpaces(page.mid(open + 1, close - open - 1));
    if (trimmed.isEmpty())
        return std::nullopt;
    const QString text = lowerCase(trimmed).replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    return text.left(text.indexOf(u' ')); // left(-1) is the whole text
}

bool parseKeyword(const QString &html, const QString &, SuggestionTable &table,
                  const bool &stopRequested, const StatusSink &status)
{
    status(QStringLiteral("Connecting to keyword database ..."));
    bool inBody = false;
    qsizetype cellStart = 0;
    bool secondCell = false;
    // Tag by tag: a "<" and the first ">" after it.
    for (qsizetype open, close, from = 0;
         (open = html.indexOf(u'<', from)) >= 0 && (close = html.indexOf(u'>', open + 1)) >= 0;
         from = close + 1) {
        if (stopRequested)
            return false;
        const std::optional<QString> name = tagName(html, open, close);
        if (!name)
            return false;
        if (*name == QLatin1String("tbody")) {
            inBody = true;
            status(QStringLiteral("Collecting keyword information ."));
        } else if (*name == QLatin1String("/tbody")) {
            break;
        } else if (*name == QLatin1String("td")) {
            status(QStringLiteral("Collecting keyword information .."));
            if (inBody)
                cellStart = close + 1;
        } else if (*name == QLatin1String("/td")) {
            status(QStringLiteral("Collecting keyword information ..."));
            if (!inBody)
                continue;
            if (table.suggestionCount == 100)
                break;
            if (table.suggestionCount < 0 || table.suggestionCount > 100)
                return false;
            Suggestion &entry = table.entries[table.suggestionCount];
            const QString text = stripTags(trimSpaces(html.mid(cellStart, open - cellStart)));
            (secondCell ? entry.keyword : entry.searches) = text;
            table.suggestionCount += secondCell ? 1 : 0;
            secondCell = !secondCell;
        }
    }
    table.noSuggestions = table.suggestionCount == 0;
    return !table.noSuggestions;
}

bool parseGoogleResults(const QString &html, const QString &key, SuggestionTable &table,
                        const bool &stopRequested, const StatusSink &status)
{
    status(QStringLiteral("Begin to parse popularity results ..."));
    const int entry = entryNumber(key);
    const QString lowerPage = lowerCase(html);
    qsizetype lastOpenEnd = 0;
    qsizetype lastCloseEnd = 0;
    bool seenClose = false;
    for (qsizetype open, close, from = 0;
         (open = html.indexOf(u'<', from)) >= 0 && (close = html.indexOf(u'>', open + 1)) >= 0;) {
        if (stopRequested)
            return false;
        const std::optional<QString> name = tagName(html, open, close);
        if (!name)
            return false;
        from = close + 1;
        Outcome outcome = Outcome::Nothing;
        if (*name == QLatin1String("table") && !seenClose) {
            lastOpenEnd = from;
        } else if (*name == QLatin1String("table")) {
            const qsizetype start = std::max(lastOpenEnd, lastCloseEnd);
            outcome = examineChunk(html.mid(start, open - start), entry, table, status);
            if (outcome != Outcome::Count)
                lastOpenEnd = from;
        } else if (*name == QLatin1String("/table")) {
            seenClose = true;
            lastCloseEnd = from;
            outcome = examineChunk(trimSpaces(html.mid(lastOpenEnd, open - lastOpenEnd)), entry,
                                   table, status);
        } else if (*name == QLatin1String("style") || *name == QLatin1String("script")) {
            // The block runs to its closing tag, in any case, or to the end of the page.
            const QString closing = QStringLiteral("</%1>").arg(*name);
            const qsizetype found = lowerPage.indexOf(closing, close);
            if (found < 0)
                break;
            from = found + closing.size();
        }
        if (outcome == Outcome::Failed)
            return false;
        if (outcome == Outcome::Ads)
            break;
    }
    status(QStringLiteral("Completed popularity analysis for one suggestion"));
    return true;
}

// Everything an outcome holds, texts quoted and escaped: two outcomes agree when their
// descriptions do.
QString describe(const ParseOutcome &outcome)
{
    QString text;
    {
        QDebug out(&text);
        out << "result" << outcome.result << "count" << outcome.table.suggestionCount << "none"
            << outcome.table.noSuggestions << "status" << outcome.status;
        for (int i = 0; i < MaxSuggestions; ++i) {
            const Suggestion &s = outcome.table.entries[std::size_t(i)];
            if (!s.searches.isEmpty() || !s.keyword.isEmpty() || !s.results.isEmpty() || s.hasAds)
                out << "\n   " << i << s.searches << s.keyword << s.results << s.hasAds;
        }
    }
    return text;
}

template<typename Parser>
ParseOutcome parse(const ParseCase &parse, Parser keyword, Parser results)
{
    ParseOutcome outcome {false, {}, parse.table};
    bool stop = parse.stopAfter == 0;
    const StatusSink sink = [&](const QString &text) {
        outcome.status << text;
        stop = stop || (parse.stopAfter > 0 && outcome.status.size() >= parse.stopAfter);
    };
    for (const QString &page : parse.pages)
        outcome.result =
            (parse.keywordPages ? keyword : results)(page, parse.key, outcome.table, stop, sink);
    return outcome;
}

} // namespace

ParseOutcome parseFast(const ParseCase &parse)
{
    return Reference::parse(parse, Quorvane::parseKeyword, Quorvane::parseGoogleResults);
}

ParseOutcome parseReference(const ParseCase &parse)
{
    return Reference::parse(parse, parseKeyword, parseGoogleResults);
}

QString outcomeDifference(const ParseOutcome &fast, const ParseOutcome &reference)
{
    const QString a = describe(fast);
    const QString b = describe(reference);
    return a == b ? QString() : QStringLiteral("fast: %1\nreference: %2").arg(a, b);
}

QString textDifference(const QString &text)
{
    const QString fast[] = {Quorvane::stripTags(text), Quorvane::lowerCase(text),
                            Quorvane::trimSpaces(text).toString()};
    const QString reference[] = {stripTags(text), lowerCase(text), trimSpaces(text)};
    const char *const names[] = {"stripTags", "lowerCase", "trimSpaces"};
    QString out;
    for (int i = 0; i < 3 && out.isEmpty(); ++i) {
        if (fast[i] != reference[i])
            QDebug(&out) << names[i] << "of" << text << "gives" << fast[i] << "not" << reference[i];
    }
    return out;
}

} // namespace Quorvane::Reference
