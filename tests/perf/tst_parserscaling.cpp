// Fails when a page parser turns super-linear on a hostile page. The bound is loose (twice the
// page may take at most three times as long, plus a millisecond, since streaming parses take a
// fraction of one) so that a loaded machine does not make it flake.

#include "bench/pagegen.h"
#include "fetch/pageparsers.h"
#include "fetch/pagetext.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QTest>

using namespace Quorvane;

class tst_ParserScaling final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void doublingTheHostilePageAtMostTriplesTheParseTime_data()
    {
        QTest::addColumn<HostileFamily>("family");
        QTest::addColumn<bool>("keyword");
        // The count at the far end of the page, showing that the result parser walked all of it.
        QTest::addColumn<QString>("results");
        const QHash<HostileFamily, QString> counts {
            {HostileFamily::Unclosed, "4321"},   {HostileFamily::Lt, "777"},
            {HostileFamily::Attribute, "31337"}, {HostileFamily::Br, "12345"},
            {HostileFamily::Style, "2468"},      {HostileFamily::Nbsp, "3210"}};
        for (HostileFamily family : allHostileFamilies()) {
            const QByteArray name = hostileFamilyName(family).toLatin1();
            QTest::newRow(name + "/results") << family << false << counts.value(family);
            QTest::newRow(name + "/keyword") << family << true << QString();
        }
    }

    void doublingTheHostilePageAtMostTriplesTheParseTime()
    {
        QFETCH(HostileFamily, family);
        QFETCH(bool, keyword);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        const QString small = pageText(hostilePage(family, 256 * 1024));
        const QString large = pageText(hostilePage(family, 512 * 1024));
        QVERIFY(large.size() == 2 * small.size());
        QFETCH(QString, results);
        for (const QString &page : {small, large}) {
            SuggestionTable table;
            const bool stop = false;
            parseGoogleResults(page, u"0", table, stop, nullptr);
            QCOMPARE(table.entries[0].results, keyword ? table.entries[0].results : results);
        }
        if (qEnvironmentVariableIntValue("QUORVANE_SANITIZED") != 0)
            QSKIP("sanitized code times allocation, not the parser; the plain build times it");
        // Each sample repeats the parse for 20 ms; the fastest of seven, taken in turns so that a
        // burst of load falls on both sizes alike, is the least disturbed.
        const auto sampleNs = [keyword](const QString &html) {
            const bool stop = false;
            QElapsedTimer timer;
            timer.start();
            qint64 parses = 0;
            for (; parses == 0 || timer.nsecsElapsed() < 20000000; ++parses) {
                SuggestionTable table;
                keyword ? parseKeyword(html, u"0", table, stop, nullptr)
                        : parseGoogleResults(html, u"0", table, stop, nullptr);
            }
            return double(timer.nsecsElapsed()) / double(parses);
        };
        double smallNs = 1e18;
        double largeNs = 1e18;
        for (int i = 0; i < 7; ++i) {
            smallNs = std::min(smallNs, sampleNs(small));
            largeNs = std::min(largeNs, sampleNs(large));
        }
        qInfo("%.3f ms at 256 KiB, %.3f ms at 512 KiB", smallNs / 1e6, largeNs / 1e6);
        QVERIFY2(largeNs <= 3 * smallNs + 1e6, "twice the page took more than three times as long");
    }
};

QTEST_GUILESS_MAIN(tst_ParserScaling)
#include "tst_parserscaling.moc"
