#include "tagscanner.h"

namespace Quorvane {

std::optional<TagSpan> findNextTag(QStringView page, qsizetype scanPosition)
{
    const qsizetype from = scanPosition > 0 ? scanPosition - 1 : 0;
    const qsizetype open = page.indexOf(u'<', from);
    if (open < 0)
        return std::nullopt;
    const qsizetype close = page.indexOf(u'>', open + 1);
    if (close < 0)
        return std::nullopt;
    return TagSpan {open + 1, close + 1};
}

QStringView textBetween(QStringView page, qsizetype after, qsizetype before)
{
    const qsizetype first = qMax<qsizetype>(after, 0); // index of the character after `after`
    const qsizetype last = qMin(before - 1, page.size()); // index of the character at `before`
    if (last <= first)
        return {};
    return page.sliced(first, last - first);
}

QStringView trimSpaces(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.sliced(begin, end - begin);
}

QString lowerCase(QStringView text)
{
    QString lower(text.size(), Qt::Uninitialized);
    QChar *out = lower.data();
    for (const QChar c : text)
        *out++ = c.toLower();
    return lower;
}

std::optional<QString> tagName(QStringView tagText)
{
    const QStringView trimmed = trimSpaces(tagText);
    if (trimmed.isEmpty())
        return std::nullopt;
    QString name = lowerCase(trimmed);
    name.replace(QLatin1String("&nbsp;"), QLatin1String(" "));
    const qsizetype space = name.indexOf(u' ');
    if (space >= 0)
        name.truncate(space);
    return name;
}

QString stripTags(QStringView text)
{
    // A removed tag leaves no "<" before the point where the next search starts, so one pass
    // from left to right does what repeated stripping from the start would do.
    QString out;
    out.reserve(text.size());
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = text.indexOf(u'<', from);
        const qsizetype close = open < 0 ? -1 : text.indexOf(u'>', open + 1);
        if (close < 0) {
            out.append(text.sliced(from));
            return out;
        }
        out.append(text.sliced(from, open - from));
        const QStringView inner = text.sliced(open + 1, close - open - 1);
        if (inner.size() == 2 && lowerCase(inner) == QLatin1String("br"))
            out.append(u' ');
        from = close + 1;
    }
}

} // namespace Quorvane
