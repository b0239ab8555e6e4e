#pragma once

// Copy-free building blocks of the page parsers: tags are classified where they stand in the
// page, and text is lower-cased into a byte buffer in which every phrase the parsers look for
// (all plain ASCII) can be found with byte searches.

#include <QStringView>

#include <algorithm>
#include <memory>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Quorvane::PageScan {

// The ASCII character a UTF-16 unit lower-cases to (as QChar::toLower does it), or 0x80 when
// its lower case lies outside ASCII. Only the Kelvin sign lower-cases into ASCII from outside.
inline unsigned char fold(char16_t c)
{
    if (c < 0x80)
        return static_cast<unsigned char>(c >= u'A' && c <= u'Z' ? c + 32 : c);
    return c == 0x212A ? 'k' : 0x80;
}

// Folds [begin, end) into out, one byte per unit; out must have room for end - begin bytes.
void foldInto(unsigned char *out, const char16_t *begin, const char16_t *end);

// True when [begin, end) starts with `word` (lower-case ASCII) once folded.
inline bool startsWithFolded(const char16_t *begin, const char16_t *end, std::string_view word)
{
    if (end - begin < static_cast<qsizetype>(word.size()))
        return false;
    for (const char w : word) {
        if (fold(*begin++) != static_cast<unsigned char>(w))
            return false;
    }
    return true;
}

// The first position of c in [begin, end), or end. Inline: most searches in a page end
// within a few units, where a library call would cost more than the search.
inline const char16_t *findUnit(const char16_t *begin, const char16_t *end, char16_t c)
{
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi16(static_cast<short>(c));
    const auto equal = [needle](const char16_t *at) {
        return _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(at)), needle);
    };
    // Long runs (script text inside a tag) go 32 units a step, with one test per step.
    for (; end - begin >= 32; begin += 32) {
        const __m128i a = equal(begin);
        const __m128i b = equal(begin + 8);
        const __m128i c = equal(begin + 16);
        const __m128i d = equal(begin + 24);
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d)))) {
            const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)))
                | static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(c, d))) << 16;
            return begin + __builtin_ctz(mask);
        }
    }
    for (; end - begin >= 8; begin += 8) {
        const int mask = _mm_movemask_epi8(equal(begin));
        if (mask)
            return begin + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
    }
#endif
    while (begin < end && *begin != c)
        ++begin;
    return begin;
}

enum class TagKind {
    NoName, // nothing but spaces between the brackets
    Other,
    Table,
    CloseTable,
    Style,
    Script,
    TBody,
    CloseTBody,
    Td,
    CloseTd,
};

// The kind of a tag by its name: the tag text between the brackets up to a space or "&nbsp;",
// letter case ignored; read in place, without making a string of it.
TagKind classifyTag(const char16_t *begin, const char16_t *end);

// A tag whose text is exactly "br" in any case; it stands for one space in stripped text.
inline bool isLineBreak(const char16_t *begin, const char16_t *end)
{
    return end - begin == 2 && fold(begin[0]) == 'b' && fold(begin[1]) == 'r';
}

// True when [begin, end) ends with `word` (lower-case ASCII) once folded.
inline bool endsWithFolded(const char16_t *begin, const char16_t *end, std::string_view word)
{
    const qsizetype length = static_cast<qsizetype>(word.size());
    return end - begin >= length && startsWithFolded(end - length, end, word);
}

// "&nbsp;" exactly so (not in other cases) at `at`; in page text it stands for a space.
inline bool isNbsp(const char16_t *at, const char16_t *end)
{
    static constexpr char16_t nbsp[] = u"&nbsp;";
    return end - at >= 6 && std::equal(at, at + 6, nbsp);
}

// A page's text with its tags stripped as stripTags() strips them, "&nbsp;" read as a space
// and every unit folded: one byte per character of the stripped text. The page is added one
// piece at a time, in page order.
class StrippedText final
{
public:
    explicit StrippedText(qsizetype capacity);
    Q_DISABLE_COPY_MOVE(StrippedText)

    // Appends text from `begin` up to the first "<" (or end) and returns where it stopped.
    const char16_t *appendUntilTag(const char16_t *begin, const char16_t *end);
    void appendByte(unsigned char byte) { m_data[m_size++] = byte; }

    qsizetype size() const { return m_size; }
    const unsigned char *data() const { return m_data.get(); }

private:
    std::unique_ptr<unsigned char[]> m_data;
    qsizetype m_size = 0;
};

// Finds the first occurrence of a phrase that starts at or after an anchor offset and ends
// within a limit, in a StrippedText that only grows. The anchor and the limit may only move
// forward, so every byte is searched a bounded number of times however often it is asked.
class PhraseCursor
{
public:
    explicit PhraseCursor(std::string_view phrase = {})
        : m_phrase(phrase)
    { }

    void setAnchor(qsizetype anchor);
    // Offset of the occurrence, or -1 when none lies within [anchor, limit).
    qsizetype find(const StrippedText &text, qsizetype limit);

private:
    std::string_view m_phrase;
    qsizetype m_found = -1;
    qsizetype m_next = 0; // every start below this (and at or after the anchor) is no match
    qsizetype m_limit = 0;
};

} // namespace Quorvane::PageScan
