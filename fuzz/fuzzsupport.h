#pragma once

// Shared pieces of the libFuzzer targets: reading option bytes off the front of an input,
// turning bytes into text, failing loudly, and timing work in CPU time (so that other processes
// on a busy machine do not make a unit look slow).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace Quorvane::Fuzz {

// Reads option bytes from the front of an input; an input too short for them gets zeros, so
// every input is usable.
class InputReader
{
public:
    InputReader(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    { }

    uint8_t byte()
    {
        if (m_at >= m_size)
            return 0;
        return m_data[m_at++];
    }

    QByteArray rest() const
    {
        if (m_at >= m_size)
            return {};
        return QByteArray(reinterpret_cast<const char *>(m_data + m_at), qsizetype(m_size - m_at));
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

// Bytes as UTF-8 text (what a page or a typed keyword normally is), or as raw UTF-16 units so
// that lone surrogates and any other unit can be reached.
inline QString textFromBytes(const QByteArray &bytes, bool utf16)
{
    if (!utf16)
        return QString::fromUtf8(bytes);
    return QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
}

// Prints what went wrong and aborts, which libFuzzer records as a crash with the input saved.
[[noreturn]] inline void fail(const QString &what, const QStringList &details = {})
{
    QString text = QStringLiteral("FUZZ FAILURE: ") + what + u'\n';
    for (const QString &line : details)
        text += QStringLiteral("  ") + line + u'\n';
    std::fputs(text.toUtf8().constData(), stderr);
    std::fflush(stderr);
    std::abort();
}

// Fails unless the condition holds; the message and its details are only built on failure, as
// checks run many times per input.
#define QUORVANE_FUZZ_CHECK(condition, ...)                                                        \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::Quorvane::Fuzz::fail(__VA_ARGS__);                                                   \
    } while (false)

// CPU time of the calling thread in milliseconds.
inline double threadCpuMs()
{
    timespec ts {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1000.0 + double(ts.tv_nsec) / 1.0e6;
}

// A whole number from the environment, or the fallback.
inline double environmentNumber(const char *name, double fallback)
{
    const char *text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    return end && *end == '\0' ? value : fallback;
}

// Shows text with its control characters visible, for failure messages.
inline QString visible(const QString &text, qsizetype limit = 400)
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

} // namespace Quorvane::Fuzz
