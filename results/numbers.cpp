#include "numbers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace Quorvane {

namespace {

// Values just off a half by binary representation error (1.15 * 10) count as the half the
// decimal text meant.
double RoundScaled(double scaled)
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

QString Digits(double wholeMagnitude)
{
    return QString::number(wholeMagnitude, 'f', 0);
}

QString Sign(double rounded)
{
    return rounded < 0 ? QStringLiteral("-") : QString();
}

} // namespace

double RoundHalfAwayFromZero(double value)
{
    if (!std::isfinite(value))
        return value;
    return RoundScaled(value);
}

double LeadingNumber(QStringView text)
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

std::optional<double> LocaleNumber(QStringView text, const QLocale &locale)
{
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double ValueThroughWholeFormat(QStringView text, const QLocale &locale)
{
    if (const auto value = LocaleNumber(text, locale))
        return RoundHalfAwayFromZero(*value);
    return LeadingNumber(text);
}

QString FormatWhole(double value)
{
    const double rounded = RoundHalfAwayFromZero(value);
    return Sign(rounded) + Digits(std::abs(rounded));
}

QString FormatThousands(double value, const QLocale &locale)
{
    const double rounded = RoundHalfAwayFromZero(value);
    QString digits = Digits(std::abs(rounded));
    if (digits.size() < 4)
        digits = QString(4 - digits.size(), u'0') + digits;
    const QString separator = locale.groupSeparator();
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, separator);
    return Sign(rounded) + digits;
}

QString FormatOneDecimal(double value, const QLocale &locale)
{
    const double tenths = RoundScaled(value * 10.0);
    const double magnitude = std::abs(tenths);
    const double whole = std::trunc(magnitude / 10.0);
    const int decimal = std::clamp(int(magnitude - whole * 10.0), 0, 9);
    return Sign(tenths) + Digits(whole) + locale.decimalPoint() + QChar(u'0' + decimal);
}

QString FormatNineDigits(double value)
{
    const double rounded = RoundHalfAwayFromZero(value);
    QString digits = Digits(std::abs(rounded));
    if (digits.size() < 9)
        digits = QString(9 - digits.size(), u'0') + digits;
    return Sign(rounded) + digits;
}

QString FormatCount(double value, const QLocale &locale)
{
    return value > 999 ? FormatThousands(value, locale) : FormatWhole(value);
}

} // namespace Quorvane
