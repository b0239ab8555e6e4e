#include "referenceparsers.h"

#include <QLocale>

#include <cmath>
#include <optional>

namespace Quorvane::Reference {

namespace {

void say(const StatusSink &status, const QString &text)
{
    if (status)
        status(text);
}

int entryNumber(const QString &tag)
{
    qsizetype at = 0;
    int sign = 1;
    if (tag.startsWith(u'-') || tag.startsWith(u'+')) {
        sign = tag.startsWith(u'-') ? -1 : 1;
        at = 1;
    }
    qint64 value = 0;
    bool anyDigit = false;
    while (at < tag.size() && tag.at(at).isDigit() && tag.at(at).unicode() < 128) {
        value = std::min<qint64>(value * 10 + tag.at(at).digitValue(), 1000000000);
        anyDigit = true;
        ++at;
    }
    return anyDigit ? int(sign * value) : 0;
}

QString wholeNumber(const QString &word)
{
    bool ok = false;
    const qlonglong whole = QLocale().toLongLong(word, &ok);
    if (ok)
        return QString::number(whole);
    const double value = QLocale().toDouble(word, &ok);
    if (ok && std::isfinite(value))
        return QString::number(std::round(value), 'f', 0);
    return word;
}

enum class Outcome { Nothing, Count, Ads, Failed };

Outcome examineChunk(QString chunk, int entry, SuggestionTable &table, const StatusSink &status)
{
    static const QString marker = QStringLiteral("results 1 - 10 of about");
    chunk.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    const QString lower = lowerCase(stripTags(chunk));
    const qsizetype at = lower.indexOf(marker);
    if (at >= 0) {
        const qsizetype wordStart = at + marker.size() + 1;
        if (wordStart >= lower.size())
            return Outcome::Failed; // nothing after the marker
        const qsizetype space = lower.indexOf(u' ', wordStart);
        const QString word =
            space < 0 ? lower.mid(wordStart) : lower.mid(wordStart, space - wordStart);
        if (entry < 0 || entry > 99)
            return Outcome::Failed;
        table.entries[entry].results = wholeNumber(word);
        say(status, QStringLiteral("Parsing ..."));
        return Outcome::Count;
    }
    if (lower.contains(QStringLiteral("sponsored")) && lower.contains(QStringLiteral("link"))) {
        if (entry < 0 || entry > 99)
            return Outcome::Failed;
        table.entries[entry].hasAds = true;
        say(status, QStringLiteral("Sponsored links founnd"));
        return Outcome::Ads;
    }
    return Outcome::Nothing;
}

} // namespace

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
    for (;;) {
        const qsizetype open = chunk.indexOf(u'<');
        if (open < 0)
            return chunk;
        const qsizetype close = chunk.indexOf(u'>', open + 1);
        if (close < 0)
            return chunk;
        const QString inner = lowerCase(chunk.mid(open + 1, close - open - 1));
        chunk.replace(open, close - open + 1,
                      inner == QStringLiteral("br") ? QStringLiteral(" ") : QString());
    }
}

namespace {

// A tag: the position of its "<", counted from 1, and of the first ">" after it.
struct Tag
{
    qsizetype start = 0;
    qsizetype end = 0;
};

std::optional<Tag> findNextTag(const QString &page, qsizetype scanPosition)
{
    const qsizetype open = page.indexOf(u'<', std::max<qsizetype>(scanPosition - 1, 0));
    if (open < 0)
        return std::nullopt;
    const qsizetype close = page.indexOf(u'>', open + 1);
    if (close < 0)
        return std::nullopt;
    return Tag {open + 1, close + 1};
}

QString textBetween(const QString &page, qsizetype after, qsizetype before)
{
    const qsizetype length = before - after - 1;
    return length > 0 ? page.mid(after, length) : QString();
}

std::optional<QString> tagName(const QString &tagText)
{
    QString text = trimSpaces(tagText);
    if (text.isEmpty())
        return std::nullopt;
    text = lowerCase(text);
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "));
    const qsizetype space = text.indexOf(u' ');
    return space < 0 ? text : text.left(space);
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
        if (*name == QStringLiteral("tbody")) {
            inBody = true;
            say(status, QStringLiteral("Collecting keyword information ."));
        } else if (*name == QStringLiteral("/tbody")) {
            break;
        } else if (*name == QStringLiteral("td")) {
            say(status, QStringLiteral("Collecting keyword information .."));
            if (inBody)
                cellStart = tag->end;
        } else if (*name == QStringLiteral("/td")) {
            say(status, QStringLiteral("Collecting keyword information ..."));
            if (inBody) {
                if (table.suggestionCount == 100)
                    break;
                if (table.suggestionCount < 0 || table.suggestionCount > 100)
                    return false;
                const QString text =
                    stripTags(trimSpaces(textBetween(html, cellStart, tag->start)));
                if (!secondCell) {
                    table.entries[table.suggestionCount].searches = text;
                    secondCell = true;
                } else {
                    table.entries[table.suggestionCount].keyword = text;
                    secondCell = false;
                    table.suggestionCount += 1;
                }
            }
        }
    }
    if (table.suggestionCount != 0) {
        table.noSuggestions = false;
        return true;
    }
    table.noSuggestions = true;
    return false;
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
        if (*name == QStringLiteral("table")) {
            if (seenClose) {
                outcome =
                    examineChunk(textBetween(html, std::max(lastOpenEnd, lastCloseEnd), t->start),
                                 entry, table, status);
                if (outcome != Outcome::Count)
                    lastOpenEnd = t->end;
            } else {
                lastOpenEnd = t->end;
            }
        } else if (*name == QStringLiteral("/table")) {
            seenClose = true;
            lastCloseEnd = t->end;
            outcome = examineChunk(trimSpaces(textBetween(html, lastOpenEnd, t->start)), entry,
                                   table, status);
        } else if (*name == QStringLiteral("style") || *name == QStringLiteral("script")) {
            const QString closing = QStringLiteral("</%1>").arg(*name);
            const qsizetype found = lowerPage.indexOf(closing, t->end - 1);
            if (found < 0)
                break; // the block runs to the end of the page
            scanPosition = found + closing.size(); // position of its ">"
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
