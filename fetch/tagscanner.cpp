#include "fetch/tagscanner.h"

namespace Quorvane {

QString lowerCase(QStringView text)
{
    QString lower(text.size(), Qt::Uninitialized);
    QChar *out = lower.data();
    for (const QChar c : text)
        *out++ = c.toLower();
    return lower;
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
