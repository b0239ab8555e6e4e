// Whole runs of the main window with every fault of the sample services at the first page (the
// keyword database), page 51 and page 102 (the last result page): each run ends within its
// bound, keeps every other page's figures, writes its report whole and leaves earlier reports.

#include "hardening.h"

#include <QElapsedTimer>

#include <algorithm>

Q_DECLARE_METATYPE(Quorvane::SampleFault)

namespace {

const QString Seed = u"Fault Matrix"_s;
const QString SeedReport = u"fault_matrix.kwd"_s;
constexpr int Rows = 100;
constexpr int Pages = Rows + 2; // keyword database page, product page, one page per row
// Well under a sound page's time on a busy machine, yet past a drip's first byte (600 ms).
const int DeadlineMs = sanitized() ? 2000 : 800;
constexpr auto Pause = std::chrono::milliseconds(2);

} // namespace

class tst_NetworkFaults final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_dir.isValid() && m_services.start());
        m_services->setKeywordRowCount(Rows);
        m_program = std::make_unique<ProgramUnderTest>(m_dir.path());
        m_program->writeDontCare();
        QVERIFY(m_program->start(Pause));
        m_program->window()->controller().fetcher().setDeadlineForTesting(DeadlineMs);
        // Earlier reports, which no later run may touch.
        for (const QString &keyword : {u"golf clubs"_s, u"chess"_s})
            QCOMPARE(m_program->suggest(keyword, 30000), Ending::Finished);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(m_program->suggest(Seed, 30000), Ending::Finished);
        m_cleanMs = clock.elapsed();
    }

    void cleanupTestCase() { m_program.reset(); }

    void faultyPageCostsOnlyThatPage_data()
    {
        QTest::addColumn<SampleFault>("fault");
        QTest::addColumn<int>("page");
        for (const int page : sanitized() ? QList<int> {1, Pages} : QList<int> {1, 51, Pages}) {
            for (const SampleFault fault : allSampleFaults())
                QTest::addRow("%s at page %d", qPrintable(sampleFaultName(fault)), page)
                    << fault << page;
        }
    }

    void faultyPageCostsOnlyThatPage()
    {
        QFETCH(SampleFault, fault);
        QFETCH(int, page);
        RunController &controller = m_program->window()->controller();
        // Without the last report, this run is not answered from it.
        const QString report = m_program->reportPath(SeedReport);
        QVERIFY(!QFile::exists(report) || QFile::remove(report));
        const QMap<QString, QByteArray> before = snapshot(m_program->reportFolder());
        m_program->boxes.shown.clear();

        SampleFaultPlan plan;
        plan.byRequest.insert(page, fault);
        m_services->setFaultPlan(plan);
        m_services->clearRequests();
        QSignalSpy completed(&controller.fetcher(), &PageFetcher::downloadHtmlComplete);
        QElapsedTimer clock;
        clock.start();
        const std::optional<Ending> ending =
            m_program->suggest(Seed, int(Pages * (DeadlineMs + Pause.count()) + 5000));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(ending, "the run did not end");
        QVERIFY(m_services->requests().value(page - 1).fault == fault);

        // Whether the faulty page itself arrives is the fetcher's own test. Here a lost keyword
        // page ends the run after two pages, a cut one shortens it, and one faulty page costs at
        // most one deadline more than a clean run.
        SuggestionTable got = controller.record().suggestionTable;
        const int listed = got.suggestionCount;
        const bool runGoesOn = page != 1 || *ending != Ending::NothingFound;
        const int pages = 2 + listed;
        QVERIFY2(elapsed <= std::min<qint64>(pages * (DeadlineMs + Pause.count()) + 5000,
                                             3 * m_cleanMs + DeadlineMs + 3000),
                 qPrintable(QString::number(elapsed)));

        // Nothing left outstanding (the client may keep one idle connection for its next page).
        QCOMPARE(completed.size(), pages);
        QVERIFY(controller.fetcher().pendingDownloads().isEmpty());
        QCOMPARE(m_program->button("cmdSuggestion")->text(), u"&Suggestion"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_services->answeringConnections(), 0, 5000);

        QMap<QString, QByteArray> after = snapshot(m_program->reportFolder());
        QCOMPARE(after.contains(SeedReport), runGoesOn);
        const QByteArray written = after.take(SeedReport);
        QCOMPARE(after, before);
        QCOMPARE(*ending, runGoesOn ? Ending::Finished : Ending::NothingFound);
        if (!runGoesOn) {
            QCOMPARE(m_program->boxes.shown.size(), 1);
            QVERIFY(
                m_program->boxes.shown[0].startsWith(u"warn: No results found for \""_s + Seed));
            return;
        }
        QVERIFY2(m_program->boxes.shown.isEmpty(), qPrintable(m_program->boxes.shown.join(u'\n')));

        // Every other page's figures as in the clean run: what the faulty page cost is filled in,
        // so that one comparison serves. A chunked page cut short may bring part of its figures.
        const QList<SampleSuggestion> sample = sampleSuggestions(Seed, Rows);
        for (int i = listed; i < Rows; ++i)
            got.entries[std::size_t(i)] = expectedEntry(sample[i]);
        got.suggestionCount = Rows;
        const int lost = page - 3; // pages 3.. are the result pages of rows 0..
        if (lost >= 0) {
            Suggestion &row = got.entries[std::size_t(lost)];
            if (fault == SampleFault::ChunkedCut || (row.results.isEmpty() && !row.hasAds))
                row = expectedEntry(sample[lost]);
        }
        QCOMPARE(differenceFromSample(got, Seed, Rows), QString());
        QCOMPARE(controller.results().list().rows.size(), listed);
        // The report is whole: a header of three lines and every row, each ended with CR LF.
        QCOMPARE(written.count("\r\n"), 3 + listed);
        QVERIFY(written.endsWith("\r\n"));
    }

private:
    LoopbackServices m_services;
    QTemporaryDir m_dir;
    std::unique_ptr<ProgramUnderTest> m_program;
    qint64 m_cleanMs = 0;
};

QTEST_MAIN(tst_NetworkFaults)
#include "tst_networkfaults.moc"
