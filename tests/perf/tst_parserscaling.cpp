// Fails when a page parser turns super-linear on a hostile page. The bound is loose (twice the
// page may take at most three times as long, plus a millisecond) so that a loaded machine does
// not make it flake.

#include "pagegen.h"
#include "pageparsers.h"
#include "pagetext.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QTest>

#include <algorithm>
#include <limits>

using namespace Quorvane;

namespace {

enum class Parser { Results, Keyword };

constexpr qsizetype SmallPage = 256 * 1024;
constexpr int Samples = 7;
// Each sample repeats the parse this long, so timer resolution and short preemptions do not
// decide the outcome.
constexpr qint64 SampleNs = 20 * 1000 * 1000;
// Streaming parses take a fraction of a millisecond, where cache effects move the ratio more
// than the parser; a quadratic walk costs seconds on these pages.
constexpr double AllowanceNs = 1e6;

// The parser's result and the table it filled.
std::pair<bool, SuggestionTable> parse(Parser parser, const QString &html)
{
    static const bool stop = false;
    SuggestionTable table;
    const bool result = parser == Parser::Keyword
        ? parseKeyword(html, u"0", table, stop, nullptr)
        : parseGoogleResults(html, u"0", table, stop, nullptr);
    return {result, std::move(table)};
}

double sampleNs(Parser parser, const QString &html)
{
    QElapsedTimer timer;
    timer.start();
    qint64 parses = 0;
    do {
        parse(parser, html);
        ++parses;
    } while (timer.nsecsElapsed() < SampleNs);
    return double(timer.nsecsElapsed()) / double(parses);
}

} // namespace

class ParserScalingTest final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void doublingTheHostilePageAtMostTriplesTheParseTime_data();
    void doublingTheHostilePageAtMostTriplesTheParseTime();
};

void ParserScalingTest::doublingTheHostilePageAtMostTriplesTheParseTime_data()
{
    QTest::addColumn<HostileFamily>("family");
    QTest::addColumn<Parser>("parser");
    // The hostile unit, which must grow with the page or the two sizes prove nothing.
    QTest::addColumn<QByteArray>("unit");
    // The count the result parser must find at the far end of the page, showing it walked the
    // whole page. Empty: nothing to check.
    QTest::addColumn<QString>("results");
    const QHash<HostileFamily, std::pair<QByteArray, QString>> traits {
        {HostileFamily::Nested, {"<table>", ""}}, {HostileFamily::Unclosed, {"<table>", "4321"}},
        {HostileFamily::Lt, {"<", "777"}},        {HostileFamily::Attribute, {"", "31337"}},
        {HostileFamily::Br, {"<br", "12345"}},    {HostileFamily::Style, {"<style>", "2468"}},
        {HostileFamily::Nbsp, {"&nbsp;", "3210"}}};
    for (HostileFamily family : allHostileFamilies()) {
        const QByteArray name = hostileFamilyName(family).toLatin1();
        const auto [unit, results] = traits.value(family);
        QTest::newRow(name + "/results") << family << Parser::Results << unit << results;
        QTest::newRow(name + "/keyword") << family << Parser::Keyword << unit << QString();
    }
}

void ParserScalingTest::doublingTheHostilePageAtMostTriplesTheParseTime()
{
    QFETCH(HostileFamily, family);
    QFETCH(Parser, parser);
    QFETCH(QByteArray, unit);
    QFETCH(QString, results);

    const QByteArray smallBytes = hostilePage(family, SmallPage);
    const QByteArray largeBytes = hostilePage(family, 2 * SmallPage);
    QCOMPARE(smallBytes.size(), SmallPage);
    QCOMPARE(largeBytes.size(), 2 * SmallPage);
    if (!unit.isEmpty()) {
        const qsizetype few = smallBytes.toLower().count(unit);
        const qsizetype many = largeBytes.toLower().count(unit);
        QVERIFY2(few >= 1000 && std::abs(many - 2 * few) <= many / 100,
                 qPrintable(QStringLiteral("%1 at 256 KiB, %2 at 512 KiB").arg(few).arg(many)));
    }
    const QString small = pageText(smallBytes);
    const QString large = pageText(largeBytes);

    const auto [smallResult, smallTable] = parse(parser, small);
    const auto [largeResult, largeTable] = parse(parser, large);
    if (!results.isEmpty()) {
        QCOMPARE(smallTable.entries[0].results, results);
        QCOMPARE(largeTable.entries[0].results, results);
    }
    QCOMPARE(largeResult, smallResult);
    QCOMPARE(largeTable.entries[0].hasAds, smallTable.entries[0].hasAds);

    if (qEnvironmentVariableIntValue("QUORVANE_SANITIZED") != 0)
        QSKIP("sanitized code times allocation, not the parser; the plain build times it");

    // Interleaved, so a burst of load falls on both sizes alike; the fastest sample of each is
    // the least disturbed.
    double smallNs = std::numeric_limits<double>::max();
    double largeNs = std::numeric_limits<double>::max();
    for (int i = 0; i < Samples; ++i) {
        smallNs = std::min(smallNs, sampleNs(parser, small));
        largeNs = std::min(largeNs, sampleNs(parser, large));
    }
    qInfo("%.3f ms at 256 KiB, %.3f ms at 512 KiB: ratio %.2f", smallNs / 1e6, largeNs / 1e6,
          largeNs / smallNs);
    QVERIFY2(largeNs <= 3 * smallNs + AllowanceNs,
             qPrintable(QStringLiteral("twice the page took %1 ms against %2 ms")
                            .arg(largeNs / 1e6, 0, 'f', 3)
                            .arg(smallNs / 1e6, 0, 'f', 3)));
}

QTEST_GUILESS_MAIN(ParserScalingTest)
#include "tst_parserscaling.moc"
