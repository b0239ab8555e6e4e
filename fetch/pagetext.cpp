#include "fetch/pagetext.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Quorvane {

namespace {

// Widens ASCII bytes to UTF-16 units; false at the first byte outside ASCII, leaving `out`
// partly written.
bool widenAscii(const char *in, qsizetype size, char16_t *out)
{
    const char *const end = in + size;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; end - in >= 16; in += 16, out += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in));
        if (_mm_movemask_epi8(bytes))
            return false;
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    for (; in < end; ++in, ++out) {
        if (static_cast<unsigned char>(*in) >= 0x80)
            return false;
        *out = static_cast<unsigned char>(*in);
    }
    return true;
}

} // namespace

QString pageText(const QByteArray &bytes)
{
    // Every system encoding reads ASCII as ASCII, and nearly every page is ASCII throughout:
    // those are widened in one pass, without the general decoder's extra copy.
    if (!bytes.isEmpty()) {
        QString text(bytes.size(), Qt::Uninitialized);
        if (widenAscii(bytes.constData(), bytes.size(), reinterpret_cast<char16_t *>(text.data())))
            return text;
    }
    return QString::fromLocal8Bit(bytes);
}

} // namespace Quorvane
