// Whole runs of the main window with one page going wrong: every fault of the sample services
// at the first page (the keyword database), at page 51 and at page 102 (the last result page).
// Each run must end within its bound, keep every other page's figures, write its report whole
// and leave every earlier report as it was.

#include "hardening.h"

#include <QElapsedTimer>

#include <algorithm>

Q_DECLARE_METATYPE(Quorvane::SampleFault)

namespace {

const QString Seed = u"Fault Matrix"_s;
const QString SeedReport = u"fault_matrix.kwd"_s;
constexpr int Rows = 100;
constexpr int Pages = Rows + 2; // keyword database page, product page, one page per row

// Short enough for the matrix to take well under a minute, long enough that a sound page on a
// busy machine never meets it; a drip's first byte (after 600 ms) comes before it.
const int DeadlineMs = sanitized() ? 2000 : 800;
constexpr auto Pause = std::chrono::milliseconds(2);

bool breaksConnection(SampleFault fault)
{
    return fault == SampleFault::ResetBeforeStatus || fault == SampleFault::ResetMidBody
        || fault == SampleFault::ShortBody || fault == SampleFault::ChunkedCut;
}

} // namespace

class tst_NetworkFaults final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(m_dir.isValid());
        QVERIFY(m_services.start());
        m_services->setKeywordRowCount(Rows);
        m_program = std::make_unique<ProgramUnderTest>(m_dir.path());
        m_program->writeDontCare();
        QVERIFY(m_program->start(Pause));
        m_program->window()->controller().fetcher().setDeadlineForTesting(DeadlineMs);

        // Earlier reports of other keywords, which no later run may touch.
        for (const QString &keyword : {u"golf clubs"_s, u"chess"_s})
            QCOMPARE(m_program->suggest(keyword, 30000), Ending::Finished);

        // The clean run every faulty one is compared with, itself checked against the pages.
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(m_program->suggest(Seed, 30000), Ending::Finished);
        m_cleanMs = clock.elapsed();
        QCOMPARE(differenceFromSample(m_program->window()->controller().record().suggestionTable,
                                      Seed, Rows),
                 QString());
        m_cleanReport = TestSupport::readAll(m_program->reportPath(SeedReport));
        QVERIFY(m_program->boxes.shown.isEmpty());
    }

    void cleanupTestCase() { m_program.reset(); }

    void faultyPageCostsOnlyThatPage_data()
    {
        QTest::addColumn<SampleFault>("fault");
        QTest::addColumn<int>("page");
        // Sanitizer builds run every fault at the first and the last page only.
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

        // The last scenario's report goes, so that this run is not answered from it.
        const QString report = m_program->reportPath(SeedReport);
        QVERIFY(!QFile::exists(report) || QFile::remove(report));
        const QMap<QString, QByteArray> before = snapshot(m_program->reportFolder());
        m_program->boxes.shown.clear();

        SampleFaultPlan plan;
        plan.byRequest.insert(page, fault);
        m_services->setFaultPlan(plan);
        m_services->clearRequests();
        QSignalSpy issued(&controller.queue(), &FetchQueue::downloadIssued);
        QSignalSpy completed(&controller.fetcher(), &PageFetcher::downloadHtmlComplete);
        QElapsedTimer clock;
        clock.start();
        const std::optional<Ending> ending =
            m_program->suggest(Seed, int(Pages * (DeadlineMs + Pause.count()) + 5000));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(ending, "the run did not end");

        // The fault was served where it was meant to be.
        QVERIFY(m_services->requests().value(page - 1).fault == fault);

        // Whether the faulty page still arrived, as the run saw it: a redirect brings it; so may
        // the client's own retry of a request whose connection broke (Qt's network access retries
        // such a request once); no other fault does. A result page that arrived leaves its row as
        // in the clean run, a lost one leaves the row without figures. Qt may hand over a chunked
        // page cut before its last chunk as complete: it then counts with the part that arrived.
        const int lost = page - 3; // pages 3.. are the result pages of rows 0..
        SuggestionTable got = controller.record().suggestionTable;
        const Suggestion clean = expectedEntry(sampleSuggestions(Seed, Rows)[std::max(lost, 0)]);
        Suggestion &row = got.entries[std::size_t(std::max(lost, 0))];
        const bool arrived = page == 1 ? *ending != Ending::NothingFound
                                       : row.results == clean.results && row.hasAds == clean.hasAds;
        const bool lostFigures = page != 1 && row.results.isEmpty() && !row.hasAds;
        QVERIFY2(page == 1 || arrived || lostFigures || fault == SampleFault::ChunkedCut,
                 "the faulty page's row has other figures");
        if (fault == SampleFault::Redirect)
            QVERIFY(arrived);
        else if (!breaksConnection(fault))
            QVERIFY(page == 1 ? !arrived : lostFigures);

        // A keyword page that never arrives ends the run after its two first-phase pages. The run
        // ends within its pages' deadlines and pauses, and one faulty page costs at most one
        // deadline more than a clean run.
        const bool runGoesOn = page != 1 || arrived;
        const bool cutKeywordPage = page == 1 && arrived && got.suggestionCount != Rows;
        const int pages = cutKeywordPage ? 2 + got.suggestionCount : runGoesOn ? Pages : 2;
        QVERIFY2(elapsed <= std::min<qint64>(pages * (DeadlineMs + Pause.count()) + 5000,
                                             3 * m_cleanMs + DeadlineMs + 3000),
                 qPrintable(u"%1 ms for %2 pages, clean run %3 ms"_s.arg(elapsed).arg(pages).arg(
                     m_cleanMs)));

        // Nothing is left outstanding: every download ended once, and every connection a request
        // came on is closed (the client may keep an idle one for its next page).
        QCOMPARE(issued.size(), pages);
        QCOMPARE(completed.size(), pages);
        QVERIFY(controller.fetcher().pendingDownloads().isEmpty());
        QCOMPARE(controller.record().downloadsInFlight, 0);
        QVERIFY(!controller.queue().running());
        QCOMPARE(m_program->button("cmdSuggestion")->text(), u"&Suggestion"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_services->answeringConnections(), 0, 5000);

        // Earlier reports stay as they were.
        QMap<QString, QByteArray> after = snapshot(m_program->reportFolder());
        QCOMPARE(after.contains(SeedReport), runGoesOn);
        QList<QByteArray> lines = after.take(SeedReport).split('\n');
        QCOMPARE(after, before);
        if (!runGoesOn) {
            QCOMPARE(*ending, Ending::NothingFound);
            QCOMPARE(m_program->boxes.shown.size(), 1);
            QVERIFY(
                m_program->boxes.shown[0].startsWith(u"warn: No results found for \""_s + Seed));
            return;
        }
        QCOMPARE(*ending, Ending::Finished);
        QVERIFY2(m_program->boxes.shown.isEmpty(), qPrintable(m_program->boxes.shown.join(u'\n')));

        // Every other page's figures as in the clean run: the rows a cut keyword page lost and the
        // lost page's figures are filled in, so that one comparison serves.
        const int listed = got.suggestionCount;
        const QList<SampleSuggestion> sample = sampleSuggestions(Seed, Rows);
        for (int i = listed; i < Rows; ++i)
            got.entries[std::size_t(i)] = expectedEntry(sample[i]);
        got.suggestionCount = Rows;
        if (lost >= 0) {
            row.results = clean.results;
            row.hasAds = clean.hasAds;
        }
        QCOMPARE(differenceFromSample(got, Seed, Rows), QString());
        QCOMPARE(controller.results().list().rows.size(), listed);

        // The report is whole (its last line ends with CR LF too) and differs from the clean one
        // only where the lost page's figures go: the faulty row from its "Popularity" field on.
        QCOMPARE(lines.size(), 3 + listed + 1);
        QVERIFY(lines.last().isEmpty());
        if (cutKeywordPage)
            return;
        const QList<QByteArray> cleanLines = m_cleanReport.split('\n');
        if (!arrived) {
            constexpr int beforePopularity = 99;
            QByteArray &line = lines[3 + lost];
            QCOMPARE(line.left(beforePopularity), cleanLines[3 + lost].left(beforePopularity));
            QVERIFY(line.endsWith('\r'));
            if (!clean.results.isEmpty())
                QVERIFY(line != cleanLines[3 + lost]);
            line = cleanLines[3 + lost];
        }
        QCOMPARE(lines, cleanLines);
    }

private:
    LoopbackServices m_services;
    QTemporaryDir m_dir;
    std::unique_ptr<ProgramUnderTest> m_program;
    QByteArray m_cleanReport;
    qint64 m_cleanMs = 0;
};

QTEST_MAIN(tst_NetworkFaults)
#include "tst_networkfaults.moc"
