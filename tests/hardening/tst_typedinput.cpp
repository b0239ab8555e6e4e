// Hostile keywords in the main window: the run, its report, its reuse, the history and Delete
// all behave, nothing is written outside the report folder, and the services receive exactly
// what was typed.

#include "hardening.h"

constexpr int Rows = 5;

class tst_TypedInput final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_services.start());
        m_services->setKeywordRowCount(Rows);
    }

    void hostileKeywordGoesThroughEveryOperation_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::newRow("path characters") << u"a/b\\c:d*e?f\"g<h>i|j"_s;
        QTest::newRow("parent folder") << u".."_s;
        QTest::newRow("climbing path") << u"../../outside/evil"_s;
        QTest::newRow("absolute path") << u"/tmp/quorvane-escape"_s;
        QTest::newRow("dots and spaces") << u". . ."_s;
        QTest::newRow("NUL inside") << u"golf"_s + QChar(0) + u"clubs"_s;
        QTest::newRow("control characters") << u"tab\there\r\nnext\x01\x1b[31mred\x7f"_s;
        QTest::newRow("ten thousand characters") << u"long keyword "_s.repeated(770).left(10000);
        QTest::newRow("right-to-left") << u"מועדוני גולף ملاعب"_s;
        QTest::newRow("right-to-left override") << u"invoice\u202Etxt.exe"_s;
        QTest::newRow("combining characters") << u"e\u0301clair Z\u0351\u0327alg\u0303o"_s;
        QTest::newRow("emoji") << u"golf ⛳ 🏌️‍♀️ 👨‍👩‍👧 🇬🇧"_s;
        QTest::newRow("device name") << u"CON"_s;
        QTest::newRow("address characters") << u"a&q=b#c%41+d e"_s;
        QTest::newRow("report header inside") << u"x,Total Searches=5\r\nKeyword=y"_s;
        QTest::newRow("surrounding blanks") << u"  golf clubs  "_s;
    }

    void hostileKeywordGoesThroughEveryOperation()
    {
        QFETCH(QString, keyword);
        QTemporaryDir dir;
        ProgramUnderTest program(dir.path());
        program.writeDontCare();
        QVERIFY(dir.isValid() && program.start());
        m_services->clearRequests();
        QCOMPARE(program.suggest(keyword, 30000), Ending::Finished);
        QVERIFY2(program.boxes.shown.isEmpty(), qPrintable(program.boxes.shown.join(u'\n')));
        const SuggestionTable &table = program.window()->controller().record().suggestionTable;
        QCOMPARE(table.suggestionCount, qint16(Rows));
        QStringList sent {keyword}, received;
        for (int i = 0; i < Rows; ++i)
            sent << table.entries[std::size_t(i)].keyword;
        for (const SampleRequest &request : m_services->requests()) {
            if (request.hasPhrase)
                received << request.phrase;
        }
        QCOMPARE(received, sent);
        const QList<ListRow> rows = program.window()->controller().results().list().rows;

        // One report in the report folder, one line per row, and nothing written elsewhere.
        const QString name = reportFileName(keyword);
        QCOMPARE(filesIn(program.reportFolder()), QStringList {name});
        QCOMPARE(filesIn(dir.path()),
                 (QStringList {u"quorvane-instance.lock"_s, u"quorvane.ini"_s, u"report"_s}));
        const QByteArray bytes = TestSupport::readAll(program.reportPath(name));
        QCOMPARE(bytes.count("\r\n"), 3 + Rows);
        QCOMPARE(bytes.count('\n'), 3 + Rows);
        QCOMPARE(program.keywordBox()->itemText(0), keyword);

        // Reuse answers from the report, whose fixed fields drop a cut phrase's trailing blank.
        m_services->clearRequests();
        QSignalSpy ended(&program.window()->controller(), &RunController::runEnded);
        program.enter(keyword);
        program.click("cmdSuggestion");
        QVERIFY(!ended.wait(100));
        QVERIFY(m_services->requests().isEmpty());
        QList<ListRow> stored = rows;
        for (ListRow &row : stored)
            for (QString &cell : row.cells)
                while (cell.endsWith(u' '))
                    cell.chop(1);
        const ResultList &reused = program.window()->controller().results().list();
        QCOMPARE(reused.rows, stored);
        QCOMPARE(reused.suggestionsCaption,
                 readReport(program.reportPath(name)).value().suggestionsCaption);
        QCOMPARE(program.keywordBox()->count(), 1);

        // The history survives a restart exactly; Delete asks about the keyword as typed and
        // takes it and its report for good.
        program.stop();
        QVERIFY(program.start());
        QVERIFY(program.boxes.shown.isEmpty());
        QCOMPARE(program.program()->currentSettings().keywordHistory, QStringList {keyword});
        QCOMPARE(program.keywordBox()->currentText(), keyword);
        program.click("cmdDelete");
        QCOMPARE(program.boxes.shown,
                 QStringList {u"confirm: Are you sure you want to delete this keyword \""_s
                              + keyword + u"\" ?"_s});
        QCOMPARE(program.keywordBox()->count(), 0);
        program.stop();
        QCOMPARE(filesIn(program.reportFolder()), QStringList());
        Settings reloaded;
        QCOMPARE(SettingsStore(program.places().settings).loadSettings(reloaded),
                 LoadSettingsResult::Loaded);
        QVERIFY(reloaded.keywordHistory.isEmpty());
        QCOMPARE(filesIn(dir.path()), (QStringList {u"quorvane.ini"_s, u"report"_s}));
    }

private:
    LoopbackServices m_services;
};

QTEST_MAIN(tst_TypedInput)
#include "tst_typedinput.moc"
