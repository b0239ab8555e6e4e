#include "fetch/pagescan.h"

#include <cstring>

namespace Quorvane::PageScan {

namespace {

#if defined(__SSE2__)
// Fold() on eight units at once; the results (all below 0x100) stay in 16-bit lanes.
inline __m128i foldEight(__m128i units)
{
    const __m128i nonAscii = _mm_xor_si128(
        _mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80))),
                        _mm_setzero_si128()),
        _mm_set1_epi16(-1));
    const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(units, _mm_set1_epi16('A' - 1)),
                                        _mm_cmplt_epi16(units, _mm_set1_epi16('Z' + 1)));
    __m128i folded = _mm_add_epi16(units, _mm_and_si128(upper, _mm_set1_epi16(32)));
    const __m128i kelvin = _mm_cmpeq_epi16(units, _mm_set1_epi16(0x212A));
    const __m128i outside = _mm_andnot_si128(kelvin, nonAscii);
    folded = _mm_or_si128(_mm_andnot_si128(nonAscii, folded),
                          _mm_and_si128(outside, _mm_set1_epi16(0x80)));
    return _mm_or_si128(folded, _mm_and_si128(kelvin, _mm_set1_epi16('k')));
}
#endif

// The first occurrence of `phrase` in [begin, end), or null. Blocks of 16
// starts are tested on the phrase's first and last bytes at once; only starts that pass both
// are compared in full.
const unsigned char *findPhrase(const unsigned char *begin, const unsigned char *end,
                                std::string_view phrase)
{
    const auto length = static_cast<qsizetype>(phrase.size());
    if (length == 0)
        return begin;
    if (end - begin < length)
        return nullptr;
    const unsigned char *const lastStart = end - length;
    const auto first = static_cast<unsigned char>(phrase.front());
    const auto last = static_cast<unsigned char>(phrase.back());
    const unsigned char *at = begin;
#if defined(__SSE2__)
    const __m128i firsts = _mm_set1_epi8(static_cast<char>(first));
    const __m128i lasts = _mm_set1_epi8(static_cast<char>(last));
    for (; lastStart - at >= 15; at += 16) {
        const __m128i head = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
        const __m128i tail = _mm_loadu_si128(reinterpret_cast<const __m128i *>(at + length - 1));
        unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(head, firsts), _mm_cmpeq_epi8(tail, lasts))));
        for (; mask; mask &= mask - 1) {
            const unsigned char *start = at + __builtin_ctz(mask);
            if (std::memcmp(start, phrase.data(), phrase.size()) == 0)
                return start;
        }
    }
#endif
    for (; at <= lastStart; ++at) {
        if (*at == first && at[length - 1] == last
            && std::memcmp(at, phrase.data(), phrase.size()) == 0)
            return at;
    }
    return nullptr;
}

} // namespace

void foldInto(unsigned char *out, const char16_t *begin, const char16_t *end)
{
#if defined(__SSE2__)
    while (end - begin >= 16) {
        const __m128i low = foldEight(_mm_loadu_si128(reinterpret_cast<const __m128i *>(begin)));
        const __m128i high =
            foldEight(_mm_loadu_si128(reinterpret_cast<const __m128i *>(begin + 8)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(low, high));
        begin += 16;
        out += 16;
    }
#endif
    while (begin < end)
        *out++ = fold(*begin++);
}

TagKind classifyTag(const char16_t *begin, const char16_t *end)
{
    while (begin < end && *begin == u' ')
        ++begin;
    if (begin == end)
        return TagKind::NoName;
    // The name ends at a space, at "&nbsp;" (any case) or at the end of the tag text.
    const auto named = [begin, end](std::string_view name) {
        if (!startsWithFolded(begin, end, name))
            return false;
        const char16_t *after = begin + name.size();
        return after == end || *after == u' ' || startsWithFolded(after, end, "&nbsp;");
    };
    switch (fold(*begin)) {
    case 't':
        if (named("table"))
            return TagKind::Table;
        if (named("tbody"))
            return TagKind::TBody;
        if (named("td"))
            return TagKind::Td;
        break;
    case '/':
        if (named("/table"))
            return TagKind::CloseTable;
        if (named("/tbody"))
            return TagKind::CloseTBody;
        if (named("/td"))
            return TagKind::CloseTd;
        break;
    case 's':
        if (named("style"))
            return TagKind::Style;
        if (named("script"))
            return TagKind::Script;
        break;
    default:
        break;
    }
    return TagKind::Other;
}

// Never longer than the page (a tag or "&nbsp;" gives at most one byte); the slack takes the
// whole blocks that appendUntilTag() writes before it knows where to stop.
StrippedText::StrippedText(qsizetype capacity)
    : m_data(std::make_unique_for_overwrite<unsigned char[]>(static_cast<size_t>(capacity) + 16))
{ }

const char16_t *StrippedText::appendUntilTag(const char16_t *begin, const char16_t *end)
{
    unsigned char *out = m_data.get() + m_size;
#if defined(__SSE2__)
    // Sixteen units a block. Blocks of plain ASCII (nearly all of a page) are narrowed first and
    // folded as bytes; others take foldEight(). Folding keeps "<" and "&" and makes nothing
    // else into them, so both are looked for in the folded bytes.
    const __m128i highBits = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i beforeA = _mm_set1_epi8('A' - 1);
    const __m128i afterZ = _mm_set1_epi8('Z' + 1);
    const __m128i caseBit = _mm_set1_epi8(0x20);
    const __m128i open = _mm_set1_epi8('<');
    const __m128i amp = _mm_set1_epi8('&');
    while (end - begin >= 16) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(begin));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(begin + 8));
        const __m128i wide = _mm_and_si128(_mm_or_si128(low, high), highBits);
        __m128i folded;
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(wide, _mm_setzero_si128())) == 0xFFFF) {
            const __m128i bytes = _mm_packus_epi16(low, high);
            const __m128i upper =
                _mm_and_si128(_mm_cmpgt_epi8(bytes, beforeA), _mm_cmplt_epi8(bytes, afterZ));
            folded = _mm_or_si128(bytes, _mm_and_si128(upper, caseBit));
        } else {
            folded = _mm_packus_epi16(foldEight(low), foldEight(high));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), folded);
        const unsigned tags =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(folded, open)));
        unsigned amps = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(folded, amp)));
        // Every "&" before the tag stays as it is unless it starts "&nbsp;".
        if (tags)
            amps &= (1u << __builtin_ctz(tags)) - 1;
        for (; amps; amps &= amps - 1) {
            const int at = __builtin_ctz(amps);
            if (isNbsp(begin + at, end))
                break;
        }
        if (amps) {
            const int at = __builtin_ctz(amps);
            out[at] = ' ';
            out += at + 1;
            begin += at + 6;
            continue;
        }
        if (tags) {
            const int before = __builtin_ctz(tags);
            m_size = out + before - m_data.get();
            return begin + before;
        }
        begin += 16;
        out += 16;
    }
#endif
    while (begin < end && *begin != u'<') {
        if (isNbsp(begin, end)) {
            *out++ = ' ';
            begin += 6;
        } else {
            *out++ = fold(*begin++);
        }
    }
    m_size = out - m_data.get();
    return begin;
}

void PhraseCursor::setAnchor(qsizetype anchor)
{
    if (m_found >= 0 && m_found < anchor)
        m_found = -1;
    if (m_found < 0)
        m_next = qMax(m_next, anchor);
}

qsizetype PhraseCursor::find(const StrippedText &text, qsizetype limit)
{
    Q_ASSERT(limit >= m_limit);
    m_limit = limit;
    if (m_found >= 0)
        return m_found; // it ended within an earlier limit, and limits only grow
    const qsizetype length = static_cast<qsizetype>(m_phrase.size());
    const qsizetype lastStart = limit - length;
    if (m_next > lastStart)
        return -1;
    const unsigned char *hit = findPhrase(text.data() + m_next, text.data() + limit, m_phrase);
    if (hit) {
        m_found = hit - text.data();
        return m_found;
    }
    m_next = lastStart + 1;
    return -1;
}

} // namespace Quorvane::PageScan
