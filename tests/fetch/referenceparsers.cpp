#include "referenceparsers.h"

#include <QLocale>

#include <cmath>
#include <optional>

namespace Quorvane::Reference {

QString lowerCase(QString text)
{
    for (QChar &c : text)
        c = c.toLower();
    return text;
}

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

QString stripTags(QString chunk)
{
    for (qsizetype open; (open = chunk.indexOf(u'<')) >= 0;) {
        const qsizetype close = chunk.indexOf(u'>', open + 1);
        if (close < 0)
            break;
        const bool br = lowerCase(chunk.mid(open + 1, close - open - 1)) == QLatin1String("br");
        chunk.replace(open, close - open + 1, br ? QStringLiteral(" ") : QString());
    }
    return chunk;
}

namespace {

void say(const StatusSink &status, const QString &text)
{
    if (status)
        status(text);
}

// An optional sign, then ASCII digits; 0 without digits.
int entryNumber(const QString &tag)
{
    const bool sign = tag.startsWith(u'-') || tag.startsWith(u'+');
    qint64 value = 0;
    qsizetype at = sign ? 1 : 0;
    for (; at < tag.size() && tag.at(at) >= u'0' && tag.at(at) <= u'9'; ++at)
        value = std::min<qint64>(value * 10 + tag.at(at).digitValue(), 1000000000);
    return int(tag.startsWith(u'-') ? -value : value);
}

QString wholeNumber(const QString &word)
{
    bool ok = false;
    const qlonglong whole = QLocale().toLongLong(word, &ok);
    if (ok)
        return QString::number(whole);
    const double value = QLocale().toDouble(word, &ok);
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
        say(status, QStringLiteral("Sponsored links founnd"));
        return Outcome::Ads;
    }
    const qsizetype space = lower.indexOf(u' ', wordStart);
    const QString word = space < 0 ? lower.mid(wordStart) : lower.mid(wordStart, space - wordStart);
    table.entries[entry].results = wholeNumber(word);
    say(status, QStringLiteral("Parsing ..."));
    return Outcome::Count;
}

// A tag: the position of its "<", counted from 1, and of the first ">" after it.
struct Tag
{
    qsizetype start = 0;
    qsizetype end = 0;
};

std::optional<Tag> findNextTag(const QString &page, qsizetype scanPosition)
{
    const qsizetype open = page.indexOf(u'<', std::max<qsizetype>(scanPosition - 1, 0));
    const qsizetype close = open < 0 ? -1 : page.indexOf(u'>', open + 1);
    return close < 0 ? std::nullopt : std::optional<Tag>(Tag {open + 1, close + 1});
}

QString textBetween(const QString &page, qsizetype after, qsizetype before)
{
    return before - after - 1 > 0 ? page.mid(after, before - after - 1) : QString();
}

std::optional<QString> tagName(const QString &tagText)
{
    const QString trimmed = trimSpaces(tagText);
    if (trimmed.isEmpty())
        return std::nullopt;
    const QString text = lowerCase(trimmed).replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    return text.left(text.indexOf(u' ')); // left(-1) is the whole text
}

} // namespace

bool parseKeyword(const QString &html, const QString &, SuggestionTable &table,
                  const bool &stopRequested, const StatusSink &status)
{
    say(status, QStringLiteral("Connecting to keyword database ..."));
    bool inBody = false;
    qsizetype cellStart = 0;
    bool secondCell = false;
    for (std::optional<Tag> tag = findNextTag(html, 0); tag; tag = findNextTag(html, tag->end)) {
        if (stopRequested)
            return false;
        const std::optional<QString> name = tagName(textBetween(html, tag->start, tag->end));
        if (!name)
            return false;
        if (*name == QLatin1String("tbody")) {
            inBody = true;
            say(status, QStringLiteral("Collecting keyword information ."));
        } else if (*name == QLatin1String("/tbody")) {
            break;
        } else if (*name == QLatin1String("td")) {
            say(status, QStringLiteral("Collecting keyword information .."));
            if (inBody)
                cellStart = tag->end;
        } else if (*name == QLatin1String("/td")) {
            say(status, QStringLiteral("Collecting keyword information ..."));
            if (!inBody)
                continue;
            if (table.suggestionCount == 100)
                break;
            if (table.suggestionCount < 0 || table.suggestionCount > 100)
                return false;
            Suggestion &entry = table.entries[table.suggestionCount];
            const QString text = stripTags(trimSpaces(textBetween(html, cellStart, tag->start)));
            (secondCell ? entry.keyword : entry.searches) = text;
            table.suggestionCount += secondCell ? 1 : 0;
            secondCell = !secondCell;
        }
    }
    table.noSuggestions = table.suggestionCount == 0;
    return !table.noSuggestions;
}

bool parseGoogleResults(const QString &html, const QString &tag, SuggestionTable &table,
                        const bool &stopRequested, const StatusSink &status)
{
    say(status, QStringLiteral("Begin to parse popularity results ..."));
    const int entry = entryNumber(tag);
    const QString lowerPage = lowerCase(html);
    qsizetype lastOpenEnd = 0;
    qsizetype lastCloseEnd = 0;
    bool seenClose = false;
    for (std::optional<Tag> t = findNextTag(html, 0); t;) {
        if (stopRequested)
            return false;
        const std::optional<QString> name = tagName(textBetween(html, t->start, t->end));
        if (!name)
            return false;
        qsizetype scanPosition = t->end;
        Outcome outcome = Outcome::Nothing;
        if (*name == QLatin1String("table") && !seenClose) {
            lastOpenEnd = t->end;
        } else if (*name == QLatin1String("table")) {
            outcome = examineChunk(textBetween(html, std::max(lastOpenEnd, lastCloseEnd), t->start),
                                   entry, table, status);
            if (outcome != Outcome::Count)
                lastOpenEnd = t->end;
        } else if (*name == QLatin1String("/table")) {
            seenClose = true;
            lastCloseEnd = t->end;
            outcome = examineChunk(trimSpaces(textBetween(html, lastOpenEnd, t->start)), entry,
                                   table, status);
        } else if (*name == QLatin1String("style") || *name == QLatin1String("script")) {
            // The block runs to its closing tag, in any case, or to the end of the page.
            const QString closing = QStringLiteral("</%1>").arg(*name);
            const qsizetype found = lowerPage.indexOf(closing, t->end - 1);
            if (found < 0)
                break;
            scanPosition = found + closing.size();
        }
        if (outcome == Outcome::Failed)
            return false;
        if (outcome == Outcome::Ads)
            break;
        t = findNextTag(html, scanPosition);
    }
    say(status, QStringLiteral("Completed popularity analysis for one suggestion"));
    return true;
}

} // namespace Quorvane::Reference
