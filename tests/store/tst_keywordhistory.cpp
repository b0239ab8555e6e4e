#include "keywordhistory.h"
#include "settingsstore.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Quorvane;
using Removed = std::optional<QString>;
Q_DECLARE_METATYPE(ButtonStates)
Q_DECLARE_METATYPE(std::optional<QString>)

class tst_KeywordHistory final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addKeyword_data();
    void addKeyword();
    void deleteKeyword_data();
    void deleteKeyword();
    void buttonStates_data();
    void buttonStates();
    void changesReachTheStore();
};

void tst_KeywordHistory::addKeyword_data()
{
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<int>("saves");
    QTest::newRow("repeat keeps its place")
        << QStringList {"golf", "tennis", "golf"} << QStringList {"tennis", "golf"} << 2;
    QTest::newRow("other letter case is a new entry")
        << QStringList {"golf", "Golf"} << QStringList {"Golf", "golf"} << 2;
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

    // The count is 16-bit: a full history refuses rather than overflow it.
    QStringList full(MaxHistoryEntries, QStringLiteral("x"));
    QVERIFY(!AddKeywordToHistory(full, requests.first()));
    QCOMPARE((Settings {0, full}.HistoryCount()), qint16(32767));
}

void tst_KeywordHistory::deleteKeyword_data()
{
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<Removed>("removed");
    QTest::addColumn<QStringList>("remaining");

    QTest::newRow("middle entry") << QStringList {"tennis", "golf", "chess"} << "golf"
                                  << Removed("golf") << QStringList {"tennis", "chess"};
    QTest::newRow("only entry") << QStringList {"golf"} << "golf" << Removed("golf")
                                << QStringList {};
    QTest::newRow("capitals typed for a lower-case entry")
        << QStringList {"tennis", "golf"} << "GOLF" << Removed("golf") << QStringList {"tennis"};
    QTest::newRow("exact entry wins over an earlier case variant")
        << QStringList {"Golf", "golf"} << "golf" << Removed("golf") << QStringList {"Golf"};
    QTest::newRow("first of several case variants")
        << QStringList {"tennis", "Golf Clubs", "GOLF CLUBS"} << "golf clubs"
        << Removed("Golf Clubs") << QStringList {"tennis", "GOLF CLUBS"};
    QTest::newRow("no entry matches")
        << QStringList {"tennis"} << "golf" << Removed() << QStringList {"tennis"};
}

void tst_KeywordHistory::deleteKeyword()
{
    QFETCH(QStringList, history);
    QFETCH(QString, boxText);
    QFETCH(Removed, removed);
    QFETCH(QStringList, remaining);
    QCOMPARE(DeleteKeywordFromHistory(history, boxText), removed);
    QCOMPARE(history, remaining);
}

void tst_KeywordHistory::buttonStates_data()
{
    QTest::addColumn<QStringList>("history");
    QTest::addColumn<QString>("boxText");
    QTest::addColumn<bool>("timerArmed");
    QTest::addColumn<ButtonStates>("states"); // Delete, Delete All, Export, Suggest

    const QStringList none;
    const QStringList some {"tennis", "golf"};
    const ButtonStates all {true, true, true, true};
    QTest::newRow("nothing") << none << "" << false << ButtonStates {};
    QTest::newRow("empty history, typed")
        << none << "golf" << false << ButtonStates {false, false, false, true};
    QTest::newRow("empty history, typed, run starting")
        << none << "golf" << true << ButtonStates {};
    QTest::newRow("empty box") << some << "" << false << ButtonStates {false, true, false, false};
    QTest::newRow("match, run starting") << some << "golf" << true << all;
    QTest::newRow("typed in capitals") << some << "GOLF" << false << all;
    QTest::newRow("entry with capitals, typed lower")
        << QStringList {"Golf Clubs"} << "golf clubs" << false << all;
    QTest::newRow("no match") << some << "gol" << false << ButtonStates {false, true, false, true};
    QTest::newRow("no match, run starting")
        << some << "chess" << true << ButtonStates {false, true, false, false};
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

void tst_KeywordHistory::changesReachTheStore()
{
    QTemporaryDir dir;
    const QString fileName = dir.filePath(QStringLiteral("q.ini"));
    SettingsStore store(SettingsLocation::iniFile(fileName));
    const auto stored = [&fileName] {
        QSettings settings(fileName, QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("Software/Quorvane 1.2/Keyword"));
        QStringList pairs;
        for (const QString &key : settings.allKeys())
            pairs.append(key + QLatin1Char('=') + settings.value(key).toString());
        return pairs;
    };

    Settings settings;
    for (const char *keyword : {"chess", "golf", "tennis", "golf"}) {
        if (AddKeywordToHistory(settings.KeywordHistory, QString::fromLatin1(keyword)))
            QVERIFY(store.SaveHistory(settings));
    }
    QCOMPARE(stored(),
             (QStringList {"Interval=0", "Keyword1=tennis", "Keyword2=golf", "Keyword3=chess",
                           "KeywordNum=3"}));

    QCOMPARE(DeleteKeywordFromHistory(settings.KeywordHistory, QStringLiteral("golf")),
             Removed(QStringLiteral("golf")));
    QVERIFY(store.SaveHistory(settings));
    QCOMPARE(stored(),
             (QStringList {"Interval=0", "Keyword1=tennis", "Keyword2=chess", "KeywordNum=2"}));
    const KeywordBoxFill fill = FillKeywordBox(settings.KeywordHistory);
    QCOMPARE(fill.text, QStringLiteral("tennis"));
    QVERIFY(fill.buttonsEnabled);

    QCOMPARE(DeleteAllFromHistory(settings.KeywordHistory),
             (QStringList {QStringLiteral("tennis"), QStringLiteral("chess")}));
    QVERIFY(store.SaveHistory(settings));
    QCOMPARE(stored(), (QStringList {"Interval=0", "KeywordNum=0"}));
    QVERIFY(!FillKeywordBox(settings.KeywordHistory).buttonsEnabled);
}

QTEST_GUILESS_MAIN(tst_KeywordHistory)
#include "tst_keywordhistory.moc"
