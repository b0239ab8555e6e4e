#include "keywordhistory.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Quorvane;

Q_DECLARE_METATYPE(ButtonStates)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

QString StoredValue(const SettingsStore &store, const char *name)
{
    return store.ReadRegValue(SettingsKey, QString::fromLatin1(name));
}

} // namespace

class tst_KeywordHistory final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addKeyword_data();
    void addKeyword();
    void fullHistoryRefusesANewKeyword();
    void deleteKeyword_data();
    void deleteKeyword();
    void deleteAllReturnsEveryEntryInOrder();
    void keywordBoxFill_data();
    void keywordBoxFill();
    void buttonStates_data();
    void buttonStates();
    void requestsAndDeletionsReachTheStore();
};

void tst_KeywordHistory::addKeyword_data()
{
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<int>("saves");

    QTest::newRow("newest first") << QStringList {"golf", "tennis"}
                                  << QStringList {"tennis", "golf"} << 2;
    QTest::newRow("repeat keeps its place")
        << QStringList {"golf", "tennis", "golf"} << QStringList {"tennis", "golf"} << 2;
    QTest::newRow("other letter case is a new entry")
        << QStringList {"golf", "Golf"} << QStringList {"Golf", "golf"} << 2;
    QTest::newRow("blanks make a different keyword")
        << QStringList {"golf", "golf "} << QStringList {"golf ", "golf"} << 2;
}

void tst_KeywordHistory::addKeyword()
{
    QFETCH(QStringList, requests);
    QFETCH(QStringList, history);
    QFETCH(int, saves);

    QStringList actual;
    int changes = 0;
    for (const QString &keyword : requests)
        changes += AddKeywordToHistory(actual, keyword) ? 1 : 0;
    QCOMPARE(actual, history);
    QCOMPARE(changes, saves);
}

void tst_KeywordHistory::fullHistoryRefusesANewKeyword()
{
    QStringList history;
    history.reserve(MaxHistoryEntries);
    for (qsizetype i = 0; i < MaxHistoryEntries; ++i)
        history.append(QString::number(i));

    QVERIFY(!AddKeywordToHistory(history, QStringLiteral("golf")));
    QCOMPARE(history.size(), MaxHistoryEntries);
    QCOMPARE(history.first(), QStringLiteral("0"));

    Settings settings;
    settings.KeywordHistory = history;
    QCOMPARE(settings.HistoryCount(), qint16(32767));
}

void tst_KeywordHistory::deleteKeyword_data()
{
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<std::optional<QString>>("removed");
    QTest::addColumn<QStringList>("remaining");

    QTest::newRow("middle entry") << QStringList {"tennis", "golf", "chess"} << "golf"
                                  << std::optional<QString>("golf")
                                  << QStringList {"tennis", "chess"};
    QTest::newRow("only entry") << QStringList {"golf"} << "golf" << std::optional<QString>("golf")
                                << QStringList {};
    QTest::newRow("other case falls back to ignoring case")
        << QStringList {"tennis", "golf"} << "GOLF" << std::optional<QString>("golf")
        << QStringList {"tennis"};
    QTest::newRow("exact entry wins over an earlier case variant")
        << QStringList {"Golf", "golf"} << "golf" << std::optional<QString>("golf")
        << QStringList {"Golf"};
    QTest::newRow("first of several case variants")
        << QStringList {"tennis", "Golf Clubs", "GOLF CLUBS"} << "golf clubs"
        << std::optional<QString>("Golf Clubs") << QStringList {"tennis", "GOLF CLUBS"};
    QTest::newRow("no entry matches")
        << QStringList {"tennis"} << "golf" << std::optional<QString>() << QStringList {"tennis"};
    QTest::newRow("empty history")
        << QStringList {} << "golf" << std::optional<QString>() << QStringList {};
}

void tst_KeywordHistory::deleteKeyword()
{
    QFETCH(QStringList, history);
    QFETCH(QString, boxText);
    QFETCH(std::optional<QString>, removed);
    QFETCH(QStringList, remaining);

    const std::optional<qsizetype> index = HistoryEntryToDelete(history, boxText);
    QCOMPARE(index.has_value(), removed.has_value());
    if (index)
        QCOMPARE(history.at(*index), *removed);

    QCOMPARE(DeleteKeywordFromHistory(history, boxText), removed);
    QCOMPARE(history, remaining);
}

void tst_KeywordHistory::deleteAllReturnsEveryEntryInOrder()
{
    QStringList history {QStringLiteral("tennis"), QStringLiteral("golf")};
    QCOMPARE(DeleteAllFromHistory(history),
             (QStringList {QStringLiteral("tennis"), QStringLiteral("golf")}));
    QVERIFY(history.isEmpty());
}

void tst_KeywordHistory::keywordBoxFill_data()
{
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("empty history") << QStringList {} << QString() << false;
    QTest::newRow("newest shown") << QStringList {"tennis", "chess"} << "tennis" << true;
    QTest::newRow("empty newest entry") << QStringList {"", "chess"} << "" << true;
}

void tst_KeywordHistory::keywordBoxFill()
{
    QFETCH(QStringList, history);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    const KeywordBoxFill fill = FillKeywordBox(history);
    QCOMPARE(fill.items, history);
    QCOMPARE(fill.text, text);
    QCOMPARE(fill.buttonsEnabled, enabled);
}

void tst_KeywordHistory::buttonStates_data()
{
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<bool>("timerArmed");
    QTest::addColumn<ButtonStates>("states");

    const QStringList none;
    const QStringList golf {"tennis", "golf"};
    // Delete, Delete All, Export, Suggest
    QTest::newRow("empty history, empty box") << none << "" << false << ButtonStates {};
    QTest::newRow("empty history, typed")
        << none << "golf" << false << ButtonStates {false, false, false, true};
    QTest::newRow("empty history, typed, run starting")
        << none << "golf" << true << ButtonStates {};
    QTest::newRow("history, empty box")
        << golf << "" << false << ButtonStates {false, true, false, false};
    QTest::newRow("history, match")
        << golf << "golf" << false << ButtonStates {true, true, true, true};
    QTest::newRow("history, match, run starting")
        << golf << "golf" << true << ButtonStates {true, true, true, true};
    QTest::newRow("typed in capitals")
        << golf << "GOLF" << false << ButtonStates {true, true, true, true};
    QTest::newRow("entry with capitals") << QStringList {"Golf Clubs"} << "Golf Clubs" << false
                                         << ButtonStates {true, true, true, true};
    QTest::newRow("entry with capitals, typed lower")
        << QStringList {"Golf Clubs"} << "golf clubs" << false
        << ButtonStates {true, true, true, true};
    QTest::newRow("history, no match")
        << golf << "chess" << false << ButtonStates {false, true, false, true};
    QTest::newRow("history, no match, run starting")
        << golf << "chess" << true << ButtonStates {false, true, false, false};
    QTest::newRow("a prefix is no match")
        << golf << "gol" << false << ButtonStates {false, true, false, true};
}

void tst_KeywordHistory::buttonStates()
{
    QFETCH(QStringList, history);
    QFETCH(QString, boxText);
    QFETCH(bool, timerArmed);
    QFETCH(ButtonStates, states);
    const ButtonStates actual = ButtonStateRule(history, boxText, timerArmed);
    QCOMPARE(actual.Delete, states.Delete);
    QCOMPARE(actual.DeleteAll, states.DeleteAll);
    QCOMPARE(actual.Export, states.Export);
    QCOMPARE(actual.Suggest, states.Suggest);
}

void tst_KeywordHistory::requestsAndDeletionsReachTheStore()
{
    QTemporaryDir dir;
    SettingsStore store(SettingsLocation::iniFile(dir.filePath(QStringLiteral("q.ini"))));
    Settings settings;

    // golf, tennis, golf again: two entries, golf keeps its place.
    for (const char *keyword : {"golf", "tennis", "golf"}) {
        if (AddKeywordToHistory(settings.KeywordHistory, QString::fromLatin1(keyword)))
            QVERIFY(store.SaveHistory(settings));
    }
    QCOMPARE(StoredValue(store, "KeywordNum"), QStringLiteral("2"));
    QCOMPARE(StoredValue(store, "Keyword1"), QStringLiteral("tennis"));
    QCOMPARE(StoredValue(store, "Keyword2"), QStringLiteral("golf"));

    QVERIFY(AddKeywordToHistory(settings.KeywordHistory, QStringLiteral("chess")));
    settings.KeywordHistory.move(0, 2); // tennis, golf, chess
    QVERIFY(store.SaveHistory(settings));
    QCOMPARE(DeleteKeywordFromHistory(settings.KeywordHistory, QStringLiteral("golf")),
             std::optional<QString>(QStringLiteral("golf")));
    QVERIFY(store.SaveHistory(settings));
    QCOMPARE(StoredValue(store, "Keyword1"), QStringLiteral("tennis"));
    QCOMPARE(StoredValue(store, "Keyword2"), QStringLiteral("chess"));
    QCOMPARE(StoredValue(store, "Keyword3"), QString());
    QCOMPARE(StoredValue(store, "KeywordNum"), QStringLiteral("2"));
    QCOMPARE(FillKeywordBox(settings.KeywordHistory).text, QStringLiteral("tennis"));

    // Delete All leaves only the pacing value and a zero count, which the next start loads.
    DeleteAllFromHistory(settings.KeywordHistory);
    QVERIFY(store.SaveHistory(settings));
    Settings reloaded;
    QCOMPARE(store.LoadSettings(reloaded), LoadSettingsResult::Loaded);
    QVERIFY(reloaded.KeywordHistory.isEmpty());
    QCOMPARE(StoredValue(store, "Keyword1"), QString());
    QCOMPARE(ButtonStateRule(reloaded.KeywordHistory, QString(), false), ButtonStates {});
}

QTEST_GUILESS_MAIN(tst_KeywordHistory)
#include "tst_keywordhistory.moc"
