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
constexpr qsizetype LargePage = 2 * SmallPage;
constexpr int Samples = 7;
// Each sample repeats the parse until this much time has passed, so that timer resolution and
// short preemptions do not decide the outcome.
constexpr qint64 SampleNs = 20 * 1000 * 1000;
// Parses that only stream through the page take a fraction of a millisecond, and at that scale
// whether the page still fits the processor's cache moves the ratio more than the parser does.
// A quadratic walk costs seconds on these pages, far beyond this allowance.
constexpr double AllowanceNs = 1e6;

struct Outcome
{
    bool result = false;
    QString results;
    bool hasAds = false;
    int suggestionCount = 0;
};

Outcome parse(Parser parser, const QString &html)
{
    static const bool stopRequested = false;
    static const StatusSink noStatus = [](const QString &) {
    };
    SuggestionTable table;
    Outcome outcome;
    outcome.result = parser == Parser::Keyword
        ? ParseKeyword(html, u"0", table, stopRequested, noStatus)
        : ParseGoogleResults(html, u"0", table, stopRequested, noStatus);
    outcome.results = table.Entries[0].Results;
    outcome.hasAds = table.Entries[0].HasAds;
    outcome.suggestionCount = table.SuggestionCount;
    return outcome;
}

// Nanoseconds per parse in one sample.
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
    void initTestCase();
    void doublingTheHostilePageAtMostTriplesTheParseTime_data();
    void doublingTheHostilePageAtMostTriplesTheParseTime();
};

void ParserScalingTest::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void ParserScalingTest::doublingTheHostilePageAtMostTriplesTheParseTime_data()
{
    QTest::addColumn<HostileFamily>("family");
    QTest::addColumn<Parser>("parser");
    // What the result parser must find at the far end of the page, which shows it walked the
    // whole page rather than giving up early. Empty: nothing to check.
    QTest::addColumn<QString>("results");

    const auto countAtEnd = [](HostileFamily family) -> QString {
        switch (family) {
        case HostileFamily::Unclosed:
            return QStringLiteral("4321");
        case HostileFamily::Lt:
            return QStringLiteral("777");
        case HostileFamily::Attribute:
            return QStringLiteral("31337");
        case HostileFamily::Br:
            return QStringLiteral("12345");
        case HostileFamily::Style:
            return QStringLiteral("2468");
        case HostileFamily::Nbsp:
            return QStringLiteral("3210");
        case HostileFamily::Nested:
            break;
        }
        return {};
    };
    for (HostileFamily family : AllHostileFamilies()) {
        const QByteArray name = HostileFamilyName(family).toLatin1();
        QTest::newRow(name + "/results") << family << Parser::Results << countAtEnd(family);
        QTest::newRow(name + "/keyword") << family << Parser::Keyword << QString();
    }
}

void ParserScalingTest::doublingTheHostilePageAtMostTriplesTheParseTime()
{
    QFETCH(HostileFamily, family);
    QFETCH(Parser, parser);
    QFETCH(QString, results);

    const QString small = PageText(HostilePage(family, SmallPage));
    const QString large = PageText(HostilePage(family, LargePage));

    const Outcome smallOutcome = parse(parser, small);
    const Outcome largeOutcome = parse(parser, large);
    if (!results.isEmpty()) {
        QCOMPARE(smallOutcome.results, results);
        QCOMPARE(largeOutcome.results, results);
    }
    QCOMPARE(largeOutcome.result, smallOutcome.result);
    QCOMPARE(largeOutcome.hasAds, smallOutcome.hasAds);

    // Interleaved, so that a burst of load elsewhere falls on both sizes alike; the fastest
    // sample of each is the one least disturbed.
    double smallNs = std::numeric_limits<double>::max();
    double largeNs = std::numeric_limits<double>::max();
    for (int i = 0; i < Samples; ++i) {
        smallNs = std::min(smallNs, sampleNs(parser, small));
        largeNs = std::min(largeNs, sampleNs(parser, large));
    }
    qInfo("%.3f ms at 256 KiB, %.3f ms at 512 KiB: ratio %.2f", smallNs / 1e6, largeNs / 1e6,
          largeNs / smallNs);
    QVERIFY2(largeNs <= 3 * smallNs + AllowanceNs,
             qPrintable(QStringLiteral("twice the page took %1 ms against %2 ms, more than three "
                                       "times as long")
                            .arg(largeNs / 1e6, 0, 'f', 3)
                            .arg(smallNs / 1e6, 0, 'f', 3)));
}

QTEST_GUILESS_MAIN(ParserScalingTest)
#include "tst_parserscaling.moc"
