#include "fetch/pageparsers.h"

#include "fetch/pagescan.h"
#include "fetch/tagscanner.h"

#include <QLocale>

#include <cmath>
#include <cstring>

namespace Quorvane {

namespace {

using namespace PageScan;

void setStatus(const StatusSink &status, const QString &text)
{
    if (status)
        status(text);
}

// ---- Keyword database page ----------------------------------------------------------------

bool endKeywordWalk(SuggestionTable &table)
{
    table.noSuggestions = table.suggestionCount == 0;
    return !table.noSuggestions;
}

// ---- Search engine result page -------------------------------------------------------------

constexpr std::string_view CountMarker = "results 1 - 10 of about";

// Where a chunk starts: just after a "table" or "/table" tag (or at the page's start), both in
// the page and in the stripped text, with the phrase searches anchored there. Chunks that
// start at the same place share their searches, which keeps overlapping chunks linear.
struct ChunkStart
{
    qsizetype page = 0; // index of the first character after the tag
    qsizetype stripped = 0;
    PhraseCursor marker {CountMarker};
    PhraseCursor sponsored {"sponsored"};
    PhraseCursor link {"link"};
    qsizetype wordOf = -1; // the marker whose word end is cached below
    qsizetype wordSpace = -1; // the first space after that word's start, once found
    qsizetype wordSearched = 0; // no space between the word's start and here

    void moveTo(qsizetype pageIndex, qsizetype strippedOffset)
    {
        page = pageIndex;
        stripped = strippedOffset;
        marker.setAnchor(strippedOffset);
        sponsored.setAnchor(strippedOffset);
        link.setAnchor(strippedOffset);
    }
};

// The count found last; it is written to the table once the walk ends (whichever way), since
// every later count-yielding chunk would overwrite it anyway.
struct PendingCount
{
    bool set = false;
    qsizetype fromPage = 0; // a chunk start, from which the stripped text is rebuilt
    qsizetype fromStripped = 0;
    qsizetype word = 0; // the word, as an offset range of the stripped text
    qsizetype wordEnd = 0;
};

// Result pages are asked for in English (hl=en), so their counts are read with English number
// rules whatever the user's locale: "243,697" is 243697, not 243.697. A word that is no number
// stays.
QString countText(const QString &word)
{
    const QLocale locale(QLocale::English, QLocale::UnitedStates);
    bool ok = false;
    const qlonglong whole = locale.toLongLong(word, &ok);
    if (ok)
        return QString::number(whole);
    const double value = locale.toDouble(word, &ok);
    if (ok && std::isfinite(value))
        return QString::number(std::round(value), 'f', 0);
    return word;
}

class ResultPageWalk final
{
public:
    ResultPageWalk(QStringView html, QStringView tag, SuggestionTable &table,
                   const bool &stopRequested, const StatusSink &status)
        : m_page(html.utf16())
        , m_end(html.utf16() + html.size())
        , m_entry(entryIndexFromKey(tag))
        , m_table(table)
        , m_stopRequested(stopRequested)
        , m_status(status)
        , m_text(html.size())
    { }

    bool run();

private:
    enum class Yield { Nothing, Count, Ads, Failed };

    bool entryValid() const { return m_entry >= 0 && m_entry < MaxSuggestions; }
    // The chunk from `start` up to `end` (an offset of the stripped text).
    Yield examine(ChunkStart &start, qsizetype end);
    bool finish(bool reachedEnd);
    QString pendingWord() const;

    const char16_t *m_page;
    const char16_t *m_end;
    int m_entry;
    SuggestionTable &m_table;
    const bool &m_stopRequested;
    const StatusSink &m_status;
    StrippedText m_text;
    PendingCount m_pending;
};

ResultPageWalk::Yield ResultPageWalk::examine(ChunkStart &start, qsizetype end)
{
    if (start.stripped >= end)
        return Yield::Nothing;
    const qsizetype marker = start.marker.find(m_text, end);
    if (marker >= 0) {
        const qsizetype word = marker + qsizetype(CountMarker.size()) + 1;
        if (word >= end || !entryValid())
            return Yield::Failed;
        if (start.wordOf != marker) {
            start.wordOf = marker;
            start.wordSpace = -1;
            start.wordSearched = word;
        }
        qsizetype wordEnd = end;
        if (start.wordSpace < 0) {
            const void *space = std::memchr(m_text.data() + start.wordSearched, ' ',
                                            size_t(end - start.wordSearched));
            if (space) {
                start.wordSpace = static_cast<const unsigned char *>(space) - m_text.data();
            } else {
                start.wordSearched = end;
            }
        }
        if (start.wordSpace >= 0)
            wordEnd = start.wordSpace;
        m_pending = {true, start.page, start.stripped, word, wordEnd};
        setStatus(m_status, QStringLiteral("Parsing ..."));
        return Yield::Count;
    }
    if (start.sponsored.find(m_text, end) >= 0 && start.link.find(m_text, end) >= 0) {
        if (!entryValid())
            return Yield::Failed;
        m_table.entries[m_entry].hasAds = true;
        setStatus(m_status, QStringLiteral("Sponsored links founnd"));
        return Yield::Ads;
    }
    return Yield::Nothing;
}

QString ResultPageWalk::pendingWord() const
{
    // Strips the page again from the chunk start, exactly as the walk did, up to the word's end.
    QString word;
    const char16_t *at = m_page + m_pending.fromPage;
    qsizetype offset = m_pending.fromStripped;
    while (offset < m_pending.wordEnd) {
        if (*at == u'<') {
            const char16_t *close = findUnit(at + 1, m_end, u'>');
            if (isLineBreak(at + 1, close))
                ++offset;
            at = close + 1;
        } else if (isNbsp(at, m_end)) {
            ++offset;
            at += 6;
        } else {
            if (offset >= m_pending.word)
                word.append(QChar(*at).toLower());
            ++offset;
            ++at;
        }
    }
    return word;
}

bool ResultPageWalk::finish(bool reachedEnd)
{
    if (m_pending.set)
        m_table.entries[m_entry].results = countText(pendingWord());
    if (reachedEnd)
        setStatus(m_status, QStringLiteral("Completed popularity analysis for one suggestion"));
    return reachedEnd;
}

bool ResultPageWalk::run()
{
    setStatus(m_status, QStringLiteral("Begin to parse popularity results ..."));
    ChunkStart lastOpen; // end of the latest "table" tag whose chunk yielded no count
    ChunkStart lastClose; // end of the latest "/table" tag
    bool seenClose = false;
    // While a style or script block is skipped: the tag that ends it. Tags inside the block are
    // neither read nor checked for a stop; the block ends at the first closing tag after it.
    std::string_view skipClosing;
    for (const char16_t *at = m_page;;) {
        at = m_text.appendUntilTag(at, m_end);
        if (at == m_end)
            return finish(true);
        const char16_t *open = at;
        const char16_t *close = findUnit(open + 1, m_end, u'>');
        if (close == m_end)
            return finish(true);
        const qsizetype afterClose = close + 1 - m_page;

        if (!skipClosing.empty()) {
            // A closing tag that starts at this "<" or inside this tag ends at its ">", the first
            // one after that start; so this tag ends the block when its last units read it.
            if (endsWithFolded(open, close + 1, skipClosing))
                skipClosing = {};
        } else {
            if (m_stopRequested)
                return finish(false);
            const TagKind kind = classifyTag(open + 1, close);
            switch (kind) {
            case TagKind::NoName:
                return finish(false);
            case TagKind::Table:
                if (seenClose) {
                    ChunkStart &start = lastOpen.page >= lastClose.page ? lastOpen : lastClose;
                    const Yield yield = examine(start, m_text.size());
                    if (yield == Yield::Failed)
                        return finish(false);
                    if (yield == Yield::Ads)
                        return finish(true);
                    if (yield == Yield::Count)
                        break; // the next chunk starts at the same place
                }
                lastOpen.moveTo(afterClose, m_text.size());
                break;
            case TagKind::CloseTable: {
                seenClose = true;
                lastClose.moveTo(afterClose, m_text.size());
                // The chunk loses its spaces at both ends first. Only the trailing ones matter
                // here: no phrase starts with a space, and over a chunk of nothing but spaces the
                // trailing count reaches back to its start.
                const char16_t *chunk = m_page + lastOpen.page;
                const char16_t *last = open;
                while (last > chunk && last[-1] == u' ')
                    --last;
                const Yield yield = examine(lastOpen, m_text.size() - (open - last));
                if (yield == Yield::Failed)
                    return finish(false);
                if (yield == Yield::Ads)
                    return finish(true);
                break;
            }
            case TagKind::Style:
            case TagKind::Script:
                // A block that is never closed runs to the end of the page, where the walk
                // then ends without reading another tag.
                skipClosing = kind == TagKind::Style ? "</style>" : "</script>";
                break;
            default:
                break;
            }
        }
        if (isLineBreak(open + 1, close))
            m_text.appendByte(' ');
        at = close + 1;
    }
}

} // namespace

int entryIndexFromKey(QStringView tag)
{
    qsizetype at = 0;
    bool negative = false;
    if (at < tag.size() && (tag[at] == u'-' || tag[at] == u'+')) {
        negative = tag[at] == u'-';
        ++at;
    }
    const qsizetype digitsFrom = at;
    qint64 value = 0;
    for (; at < tag.size() && tag[at] >= u'0' && tag[at] <= u'9'; ++at)
        value = qMin<qint64>(value * 10 + (tag[at].unicode() - u'0'), 1000000000);
    if (at == digitsFrom)
        return 0;
    return static_cast<int>(negative ? -value : value);
}

bool parseKeyword(QStringView html, QStringView, SuggestionTable &table, const bool &stopRequested,
                  const StatusSink &status)
{
    setStatus(status, QStringLiteral("Connecting to keyword database ..."));
    const char16_t *const page = html.utf16();
    const char16_t *const end = page + html.size();
    const char16_t *cellStart = page; // the first cell's text starts with the page
    bool inBody = false;
    bool secondCell = false;
    for (const char16_t *from = page;;) {
        const char16_t *open = findUnit(from, end, u'<');
        if (open == end)
            return endKeywordWalk(table);
        const char16_t *close = findUnit(open + 1, end, u'>');
        if (close == end)
            return endKeywordWalk(table);
        if (stopRequested)
            return false;
        switch (classifyTag(open + 1, close)) {
        case TagKind::NoName:
            return false;
        case TagKind::TBody:
            inBody = true;
            setStatus(status, QStringLiteral("Collecting keyword information ."));
            break;
        case TagKind::CloseTBody:
            return endKeywordWalk(table);
        case TagKind::Td:
            setStatus(status, QStringLiteral("Collecting keyword information .."));
            if (inBody)
                cellStart = close + 1;
            break;
        case TagKind::CloseTd: {
            setStatus(status, QStringLiteral("Collecting keyword information ..."));
            if (!inBody)
                break;
            qint16 &count = table.suggestionCount;
            if (count == MaxSuggestions)
                return endKeywordWalk(table);
            if (count < 0 || count > MaxSuggestions)
                return false; // a count the table cannot hold: nothing is stored out of bounds
            Suggestion &entry = table.entries[count];
            QString text = stripTags(trimSpaces(QStringView(cellStart, open)));
            if (!secondCell) {
                entry.searches = std::move(text);
                secondCell = true;
            } else {
                entry.keyword = std::move(text);
                secondCell = false;
                ++count;
            }
            break;
        }
        default:
            break;
        }
        from = close + 1;
    }
}

bool parseGoogleResults(QStringView html, QStringView tag, SuggestionTable &table,
                        const bool &stopRequested, const StatusSink &status)
{
    return ResultPageWalk(html, tag, table, stopRequested, status).run();
}

} // namespace Quorvane
