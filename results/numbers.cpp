#include "results/numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvane {

namespace {

// Values just off a half by binary representation error (1.15 * 10) count as the half the
// decimal text meant.
double roundScaled(double scaled)
{
    const double whole = std::trunc(scaled);
    const double fraction = std::abs(scaled - whole);
    const double tolerance =
        std::max(1e-9, std::abs(scaled) * 8 * std::numeric_limits<double>::epsilon());
    if (std::abs(fraction - 0.5) <= tolerance)
        return whole + (scaled < 0 ? -1.0 : 1.0);
    const double rounded = std::round(scaled);
    return rounded == 0.0 ? 0.0 : rounded; // never "-0"
}

QString digits(double wholeMagnitude)
{
    return QString::number(wholeMagnitude, 'f', 0);
}

QString sign(double rounded)
{
    return rounded < 0 ? QStringLiteral("-") : QString();
}

} // namespace

double roundHalfAwayFromZero(double value)
{
    if (!std::isfinite(value))
        return value;
    return roundScaled(value);
}

double leadingNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < size && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    bool anyDigit = false;
    while (i < size && text[i] >= u'0' && text[i] <= u'9') {
        ++i;
        anyDigit = true;
    }
    if (i < size && text[i] == u'.') {
        qsizetype j = i + 1;
        while (j < size && text[j] >= u'0' && text[j] <= u'9') {
            ++j;
            anyDigit = true;
        }
        i = j;
    }
    if (!anyDigit)
        return 0.0;
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    return ok ? value : 0.0;
}

std::optional<double> localeNumber(QStringView text, const QLocale &locale)
{
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double valueThroughWholeFormat(QStringView text, const QLocale &locale)
{
    if (const auto value = localeNumber(text, locale))
        return roundHalfAwayFromZero(*value);
    return leadingNumber(text);
}

QString formatWhole(double value)
{
    const double rounded = roundHalfAwayFromZero(value);
    return sign(rounded) + digits(std::abs(rounded));
}

QString formatThousands(double value, const QLocale &locale)
{
    const double rounded = roundHalfAwayFromZero(value);
    QString text = digits(std::abs(rounded));
    if (text.size() < 4)
        text = QString(4 - text.size(), u'0') + text;
    const QString separator = locale.groupSeparator();
    for (qsizetype at = text.size() - 3; at > 0; at -= 3)
        text.insert(at, separator);
    return sign(rounded) + text;
}

QString formatOneDecimal(double value, const QLocale &locale)
{
    const double tenths = roundScaled(value * 10.0);
    const double magnitude = std::abs(tenths);
    const double whole = std::trunc(magnitude / 10.0);
    const int decimal = std::clamp(int(magnitude - whole * 10.0), 0, 9);
    return sign(tenths) + digits(whole) + locale.decimalPoint() + QChar(u'0' + decimal);
}

QString formatNineDigits(double value)
{
    const double rounded = roundHalfAwayFromZero(value);
    QString text = digits(std::abs(rounded));
    if (text.size() < 9)
        text = QString(9 - text.size(), u'0') + text;
    return sign(rounded) + text;
}

QString formatCount(double value, const QLocale &locale)
{
    return value > 999 ? formatThousands(value, locale) : formatWhole(value);
}

} // namespace Quorvane
