#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>

namespace Quorvane {

// The number reading and formats of the result list and the report file. Every function
// that depends on the user's conventions takes the locale; the program passes QLocale().

// Rounds to the nearest whole number, halves away from zero (2.5 -> 3, -2.5 -> -3).
double roundHalfAwayFromZero(double value);

// The leading decimal number of a text, "." as decimal mark whatever the locale. Leading
// blanks and a sign are allowed; reading stops at the first character that cannot continue
// the number ("12.5%" -> 12.5, "1,234" -> 1). No number at all reads as 0.
double leadingNumber(QStringView text);

// The text as a number by the locale's rules (group separators allowed, "1,234" is 1234
// under en_US and "1.234" under de_DE). Nothing when the text is not a number.
std::optional<double> localeNumber(QStringView text, const QLocale &locale = QLocale());

// The text put through the whole-number format "0" and then read: a number by the locale's
// rules is rounded to a whole number; any other text keeps its leading number.
double valueThroughWholeFormat(QStringView text, const QLocale &locale = QLocale());

// Format "0": whole number, no separators, halves away from zero.
QString formatWhole(double value);

// Format "0,000": whole number of at least four digits, grouped by thousands with the
// locale's separator (1234 -> "1,234" under en_US, "1.234" under de_DE).
QString formatThousands(double value, const QLocale &locale = QLocale());

// Format "0.0": one decimal place, halves away from zero, the locale's decimal mark.
QString formatOneDecimal(double value, const QLocale &locale = QLocale());

// Format "000000000": whole number zero-padded to nine digits, no separators, so that texts
// compare in numeric order below one thousand million.
QString formatNineDigits(double value);

// Plain digits up to 999, format "0,000" above: how counts and totals are shown.
QString formatCount(double value, const QLocale &locale = QLocale());

} // namespace Quorvane
