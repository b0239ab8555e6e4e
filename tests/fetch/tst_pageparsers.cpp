// What the differential test cannot judge, since the reference shares it with the parsers: the
// decoding of page bytes, the byte folding, the locale's reading of a count; and the sample
// pages, read as a run reads them, as a fixed point for both.

#include "loopbackservices.h"
#include "pageparsers.h"
#include "pagescan.h"
#include "pagetext.h"
#include "tagscanner.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include <vector>

using namespace Quorvane;

class tst_PageParsers final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void samplePagesReadAsARunReadsThem();
    void countIsReadInTheLocalesNumberFormat_data();
    void countIsReadInTheLocalesNumberFormat();
    void pageTextIsTheSystemDecoding();
    void byteFoldMatchesLowerCaseForEveryUnit();
};

void tst_PageParsers::samplePagesReadAsARunReadsThem()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString seed = QStringLiteral("golf clubs");
    SuggestionTable table;
    const bool stop = false;
    QVERIFY(parseKeyword(pageText(sampleKeywordPage(seed)), u"0", table, stop, nullptr));
    QStringList status;
    for (int i = 0; i < table.suggestionCount; ++i) {
        status.clear();
        QVERIFY(parseGoogleResults(pageText(sampleResultPage(table.entries[i].keyword)),
                                   QString::number(i), table, stop,
                                   [&status](const QString &text) { status << text; }));
        const QString phrase = table.entries[i].keyword;
        QStringList expected {QStringLiteral("Begin to parse popularity results ...")};
        if (sampleResultCount(phrase) >= 0)
            expected << QStringLiteral("Parsing ...");
        if (sampleHasAds(phrase))
            expected << QStringLiteral("Sponsored links founnd");
        QCOMPARE(status,
                 expected << QStringLiteral("Completed popularity analysis for one suggestion"));
    }
    QCOMPARE(TestSupport::differenceFromSample(table, seed), QString());
}

void tst_PageParsers::countIsReadInTheLocalesNumberFormat_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("results");
    QTest::newRow("grouped thousands, English") << "en_US"
                                                << "1,234,567"
                                                << "1234567";
    QTest::newRow("fraction rounded, English") << "en_US"
                                               << "2.5"
                                               << "3";
    QTest::newRow("comma is the decimal mark, German") << "de_DE"
                                                       << "1,234"
                                                       << "1";
    QTest::newRow("point groups thousands, German") << "de_DE"
                                                    << "1.234"
                                                    << "1234";
    QTest::newRow("no number in German") << "de_DE"
                                         << "1,234,567"
                                         << "1,234,567";
}

void tst_PageParsers::countIsReadInTheLocalesNumberFormat()
{
    QFETCH(QString, locale);
    QFETCH(QString, word);
    QLocale::setDefault(QLocale(locale));
    SuggestionTable table;
    const bool stop = false;
    const QString page = QStringLiteral("<table>Results 1 - 10 of about <b>%1</b> for x</table>");
    QVERIFY(parseGoogleResults(page.arg(word), u"5", table, stop, nullptr));
    QTEST(table.entries[5].results, "results");
}

// Page text takes a short cut for ASCII pages; it must read every page as the system decoder
// does, whichever byte first leaves ASCII, and keep an empty page apart from a missing one.
void tst_PageParsers::pageTextIsTheSystemDecoding()
{
    QCOMPARE(pageText(QByteArray()).isNull(), QString::fromLocal8Bit(QByteArray()).isNull());
    QCOMPARE(pageText(QByteArray("")).isNull(), QString::fromLocal8Bit(QByteArray("")).isNull());
    QRandomGenerator random(6);
    const QList<QByteArray> outside = {"\x80",         "\xff", "\xc3\xa9",         "\xe2\x84\xaa",
                                       "\xef\xbb\xbf", "\xc3", "\xf0\x9f\x98\x80", "\xed\xa0\x80"};
    for (int size = 0; size < 70; ++size) {
        QByteArray ascii(size, Qt::Uninitialized);
        for (char &byte : ascii)
            byte = char(random.bounded(0x80)); // NUL included
        QCOMPARE(pageText(ascii), QString::fromLocal8Bit(ascii));
        for (int at = 0; at <= size; ++at) {
            const QByteArray page = QByteArray(ascii).insert(at, outside.at(random.bounded(8)));
            QCOMPARE(pageText(page), QString::fromLocal8Bit(page));
        }
    }
}

// The fast parsers search folded bytes; they must agree with lowerCase() on every unit that
// lower-cases into ASCII, and never turn anything else into ASCII.
void tst_PageParsers::byteFoldMatchesLowerCaseForEveryUnit()
{
    std::vector<char16_t> units(0x10000);
    for (uint u = 0; u < 0x10000; ++u)
        units[u] = char16_t(u);
    std::vector<unsigned char> folded(units.size());
    PageScan::foldInto(folded.data(), units.data(), units.data() + units.size());
    for (uint u = 0; u < 0x10000; ++u) {
        const char16_t lower = lowerCase(QStringView(&units[u], 1)).at(0).unicode();
        const unsigned char expected = lower < 0x80 ? static_cast<unsigned char>(lower) : 0x80;
        if (folded[u] != expected || PageScan::fold(char16_t(u)) != expected)
            QFAIL(qPrintable(QStringLiteral("unit %1").arg(u, 4, 16, QLatin1Char('0'))));
    }
}

QTEST_GUILESS_MAIN(tst_PageParsers)
#include "tst_pageparsers.moc"
