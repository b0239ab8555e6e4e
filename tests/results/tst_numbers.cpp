#include "numbers.h"

#include <QTest>

using namespace Quorvane;

class tst_Numbers final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void leadingNumberStopsAtTheFirstForeignCharacter_data();
    void leadingNumberStopsAtTheFirstForeignCharacter();
    void wholeFormatReadingAcceptsTheLocaleSeparators_data();
    void wholeFormatReadingAcceptsTheLocaleSeparators();
    void formatsFollowTheLocaleAndRoundHalvesAway_data();
    void formatsFollowTheLocaleAndRoundHalvesAway();
};

void tst_Numbers::leadingNumberStopsAtTheFirstForeignCharacter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("percent sign") << "12.5%" << 12.5;
    QTest::newRow("grouping comma ends the number") << "1,234" << 1.0;
    QTest::newRow("leading zero") << "0999" << 999.0;
    QTest::newRow("blanks and sign") << "  -3.5x" << -3.5;
    QTest::newRow("second full stop") << "1.2.3" << 1.2;
    QTest::newRow("fraction only") << ".5" << 0.5;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("no digits") << "n/a" << 0.0;
}

void tst_Numbers::leadingNumberStopsAtTheFirstForeignCharacter()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(LeadingNumber(text), value);
}

void tst_Numbers::wholeFormatReadingAcceptsTheLocaleSeparators_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("en grouped") << "en_US"
                                << "1,234,567" << 1234567.0;
    QTest::newRow("de grouped") << "de_DE"
                                << "1.234.567" << 1234567.0;
    QTest::newRow("en fraction rounds half up") << "en_US"
                                                << "2.5" << 3.0;
    QTest::newRow("de fraction rounds half up") << "de_DE"
                                                << "2,5" << 3.0;
    QTest::newRow("negative half away from zero") << "en_US"
                                                  << "-2.5" << -3.0;
    QTest::newRow("nine-digit padding") << "de_DE"
                                        << "000001234" << 1234.0;
    QTest::newRow("not a number keeps its leading number") << "en_US"
                                                           << "12.5%" << 12.5;
    QTest::newRow("de reads a full stop text as grouped") << "de_DE"
                                                          << "1.234" << 1234.0;
    QTest::newRow("empty") << "de_DE"
                           << "" << 0.0;
}

void tst_Numbers::wholeFormatReadingAcceptsTheLocaleSeparators()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(ValueThroughWholeFormat(text, QLocale(locale)), value);
}

void tst_Numbers::formatsFollowTheLocaleAndRoundHalvesAway_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("format");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    for (const char *name : {"en_US", "de_DE"}) {
        const bool de = QByteArray(name) == "de_DE";
        const auto row = [name](const char *label) -> QTestData & {
            return QTest::addRow("%s %s", name, label) << QString::fromLatin1(name);
        };
        row("thousands") << "0,000" << 1234.0 << (de ? "1.234" : "1,234");
        row("thousands twice") << "0,000" << 12345678.0 << (de ? "12.345.678" : "12,345,678");
        row("thousands at least four digits") << "0,000" << 5.0 << (de ? "0.005" : "0,005");
        row("thousands rounds") << "0,000" << 1234.5 << (de ? "1.235" : "1,235");
        row("one decimal") << "0.0" << 12.5 << (de ? "12,5" : "12.5");
        row("one decimal half away") << "0.0" << 0.25 << (de ? "0,3" : "0.3");
        row("one decimal decimal half") << "0.0" << 1.15 << (de ? "1,2" : "1.2");
        row("one decimal to a hundred") << "0.0" << 99.96 << (de ? "100,0" : "100.0");
        row("one decimal no negative zero") << "0.0" << -0.04 << (de ? "0,0" : "0.0");
        row("whole half away") << "0" << 2.5 << "3";
        row("whole negative half away") << "0" << -2.5 << "-3";
        row("whole has no separator") << "0" << 999.6 << "1000";
        row("nine digits") << "000000000" << 1234.0 << "000001234";
        row("nine digits zero") << "000000000" << 0.0 << "000000000";
        row("nine digits overflow keeps all digits") << "000000000" << 1234567890.0 << "1234567890";
        row("count plain up to 999") << "count" << 999.0 << "999";
        row("count grouped above") << "count" << 1000.0 << (de ? "1.000" : "1,000");
    }
}

void tst_Numbers::formatsFollowTheLocaleAndRoundHalvesAway()
{
    QFETCH(QString, locale);
    QFETCH(QString, format);
    QFETCH(double, value);
    QFETCH(QString, text);
    const QLocale l(locale);
    QString actual;
    if (format == u"0,000")
        actual = FormatThousands(value, l);
    else if (format == u"0.0")
        actual = FormatOneDecimal(value, l);
    else if (format == u"0")
        actual = FormatWhole(value);
    else if (format == u"000000000")
        actual = FormatNineDigits(value);
    else
        actual = FormatCount(value, l);
    QCOMPARE(actual, text);
}

QTEST_GUILESS_MAIN(tst_Numbers)
#include "tst_numbers.moc"
