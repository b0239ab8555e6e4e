#include "numbers.h"

#include <QTest>

using namespace Quorvane;

class tst_Numbers final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readingAndFormatsFollowTheLocale_data();
    void readingAndFormatsFollowTheLocale();
};

void tst_Numbers::readingAndFormatsFollowTheLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    const auto row = [](const char *label, const char *locale, const char *operation,
                        const char *input, const char *output) {
        QTest::newRow(label) << locale << operation << input << output;
    };
    row("leading number stops at %", "de_DE", "leading", "12.5%", "12.5");
    row("leading number stops at comma", "en_US", "leading", "1,234", "1");
    row("leading number after blanks", "en_US", "leading", "  -3.5x", "-3.5");
    row("no leading number", "en_US", "leading", "n/a", "0");
    row("en read grouped", "en_US", "read", "1,234,567", "1234567");
    row("de read grouped", "de_DE", "read", "1.234.567", "1234567");
    row("de read rounds half up", "de_DE", "read", "2,5", "3");
    row("read rounds half away", "en_US", "read", "-2.5", "-3");
    row("read padded", "de_DE", "read", "000001234", "1234");
    row("read non-number keeps leading", "en_US", "read", "12.5%", "12.5");
    row("en thousands", "en_US", "0,000", "12345678", "12,345,678");
    row("de thousands", "de_DE", "0,000", "12345678", "12.345.678");
    row("thousands four digits", "en_US", "0,000", "5", "0,005");
    row("thousands rounds", "de_DE", "0,000", "1234.5", "1.235");
    row("en one decimal", "en_US", "0.0", "1.15", "1.2");
    row("de one decimal", "de_DE", "0.0", "0.25", "0,3");
    row("one decimal no negative zero", "en_US", "0.0", "-0.04", "0.0");
    row("one decimal to a hundred", "de_DE", "0.0", "99.96", "100,0");
    row("whole without separator", "en_US", "0", "999.6", "1000");
    row("whole half away", "de_DE", "0", "-2.5", "-3");
    row("nine digits", "en_US", "000000000", "1234", "000001234");
    row("nine digits exceeded", "de_DE", "000000000", "1234567890", "1234567890");
}

void tst_Numbers::readingAndFormatsFollowTheLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, operation);
    QFETCH(QString, input);
    const QLocale l(locale);
    const double value = input.toDouble();
    QString actual;
    if (operation == u"leading")
        actual = QString::number(leadingNumber(input));
    else if (operation == u"read")
        actual = QString::number(valueThroughWholeFormat(input, l), 'g', 12);
    else if (operation == u"0,000")
        actual = formatThousands(value, l);
    else if (operation == u"0.0")
        actual = formatOneDecimal(value, l);
    else if (operation == u"0")
        actual = formatWhole(value);
    else
        actual = formatNineDigits(value);
    QTEST(actual, "output");
}

QTEST_GUILESS_MAIN(tst_Numbers)
#include "tst_numbers.moc"
