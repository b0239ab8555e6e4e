#include "app/textexport.h"
#include "core/singleinstance.h"
#include "core/startup.h"
#include "results/reportfile.h"
#include "sources/serviceaddresses.h"
#include "tests/support/testfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Quorvane;
using namespace Quorvane::TestSupport;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(StartupOutcome)
Q_DECLARE_METATYPE(LoadSettingsResult)

class tst_Core final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startupOutcomes_data()
    {
        QTest::addColumn<QString>("setup"); // held: another instance runs; blocked: no lock folder
        QTest::addColumn<QByteArray>("file"); // null: no settings file
        QTest::addColumn<StartupOutcome>("outcome");
        QTest::addColumn<LoadSettingsResult>("load");
        QTest::addColumn<QStringList>("history");
        using enum StartupOutcome;
        using enum LoadSettingsResult;
        const auto row = [](const char *label, const char *setup, const QByteArray &header,
                            const QList<QByteArray> &values, StartupOutcome outcome,
                            LoadSettingsResult load, const QStringList &history = {}) {
            QByteArray file = header.isNull() ? QByteArray() : header + '\n';
            for (const QByteArray &value : values)
                file += "Quorvane%201.2\\Keyword\\" + value + '\n';
            QTest::newRow(label) << setup << file << outcome << load << history;
        };
        const QByteArray sound = "[Software]";
        row("first start", "", {}, {}, ShowMainWindow, Loaded);
        row("blanks, count half to even, missing entry reads empty", "", sound,
            {"Interval= \t-3.5 ", "KeywordNum=2.5", "Keyword1=a"}, ShowMainWindow, Loaded,
            {"a", ""});
        row("interval missing", "", sound, {"KeywordNum=1", "Keyword1=a"}, SevereError,
            BadInterval);
        row("interval with letters after", "", sound, {"Interval=5abc", "KeywordNum=0"},
            SevereError, BadInterval);
        row("count rounds out of range", "", sound, {"Interval=0", "KeywordNum=32767.5"},
            SevereError, BadKeywordNum);
        // Qt reads the keys after the unclosed header but would drop the header line on a rewrite.
        const QList<QByteArray> golf {"Interval=99", "KeywordNum=1", "Keyword1=golf"};
        row("damaged file copied before any write", "", "[Software", golf, ShowMainWindow, Loaded,
            {"golf"});
        row("another instance leaves even a damaged file alone", "held", "[Software", golf,
            AnotherInstance, Loaded);
        row("unusable lock folder", "blocked", {}, {}, ShowMainWindow, Loaded);
    }

    void startupOutcomes()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const SettingsLocation location = SettingsLocation::iniFile(dir.filePath("cfg/q.ini"));
        if (!file.isNull())
            QVERIFY(QDir().mkpath(dir.filePath("cfg")) && writeAll(location.path, file));
        SingleInstance other(dir.filePath("cfg"));
        if (setup == u"held")
            QCOMPARE(other.acquire(), InstanceCheck::Acquired);
        SingleInstance instance(setup == u"blocked" ? u"/dev/null/lock"_s
                                                    : instanceLockFolder(location));
        SettingsStore store(location);
        Settings settings;
        const auto result = runStartupSequence(store, instance, settings);
        QTEST(result.outcome, "outcome");
        QTEST(result.load, "load");
        QTEST(settings.keywordHistory, "history"); // a failed load leaves nothing half-loaded
        QCOMPARE(instance.isHeld(), setup.isEmpty());
        const bool damaged = file.startsWith("[Software\n") && setup.isEmpty();
        QCOMPARE(readAll(result.damagedSettingsCopy), damaged ? file : QByteArray());
        // Only a first start writes, and it writes the defaults.
        if (file.isNull())
            QCOMPARE(iniValues(location.path),
                     (QMap<QString, QString> {{"Interval", "0"}, {"KeywordNum", "0"}}));
        else
            QCOMPARE(readAll(location.path), file);
    }

    void builtInAddressesCarryTheEncodedPhrase()
    {
        // The stored pieces depend on the generator's exact sequence and the seed's shift rule.
        QCOMPARE(keywordDatabaseAddress(QStringLiteral("golf clubs")),
                 "https://keywords.quorvane.com/suggest?hl=en&term=golf+clubs&rows=100");
        QCOMPARE(queryAddress(QStringLiteral("c&a")),
                 "https://www.google.com/search?hl=en&num=10&q=c%26a&btnG=Search");
        QCOMPARE(productPageAddress(), "https://www.quorvane.com/update/check.html");
        // Spaces as "+", unreserved characters kept, everything else from its UTF-8 bytes.
        QCOMPARE(
            encodePhrase(QString::fromUtf8("a  c++#1 50%/?=\t\x7f-_.~\xc3\xa9\xf0\x9f\x8f\x8c")),
            "a++c%2B%2B%231+50%25%2F%3F%3D%09%7F-_.~%C3%A9%F0%9F%8F%8C");
    }

    // No display: a window program that made its QApplication first would fail here.
    void programsAnswerWithoutADisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("firstLine"); // of the output, or of the error
        QMap<QString, QString> paths;
        for (const QString &path : QString::fromUtf8(QUORVANE_PROGRAMS).split(u','))
            paths[QFileInfo(path).fileName()] = path;
        const auto row = [&](const QString &name, const QStringList &arguments, int status,
                             const QString &firstLine) {
            QTest::addRow("%s %s", qPrintable(name), qPrintable(arguments.join(u' ')))
                << paths.value(name) << arguments << status << name + firstLine;
        };
        const QString version = u" "_s + QStringLiteral(QUORVANE_PROJECT_VERSION);
        for (const QString &name : paths.keys())
            row(name, {u"--version"_s}, 0, version);
        const QString page = u"quorvane-pagecheck"_s;
        row(page, {u"--help"_s}, 0, u" keyword PAGE... [--repeat N]"_s);
        row(u"quorvane"_s, {u"-platform"_s, u"offscreen"_s, u"-style=fusion"_s, u"-1"_s, u"-v"_s},
            0, version); // a negative number is a value
        row(u"quorvane-cli"_s, {u"history"_s, u"--help"_s}, 0, u" history [options]"_s);
        row(page, {u"-platform"_s, u"offscreen"_s}, 2,
            u": Unknown option 'platform'. (see --help)"_s);
    }

    void programsAnswerWithoutADisplay()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), status);
        const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString error = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE((status == 0 ? error : output), QString()); // help goes out, errors go to stderr
        QTEST((status == 0 ? output : error).section(u'\n', 0, 0).remove(u"Usage: "_s),
              "firstLine");
    }

    // The code that runs on Windows only, checked on every platform.
    void notepadGetsTheReportInWindowsSeparators()
    {
        const EditorCommand command =
            notepadCommand(u"C:\\Windows\\system32"_s, u"C:/My Reports/golf clubs.kwd"_s);
        QCOMPARE(command.program, u"C:\\Windows\\system32\\notepad.exe"_s);
        QCOMPARE(command.arguments, QStringList {u"C:\\My Reports\\golf clubs.kwd"_s});
    }

    void systemFolderNeedsRoomForItsNull_data()
    {
        QTest::addColumn<uint>("length");
        QTest::addColumn<QString>("folder");
        QTest::newRow("fits") << 19u << u"C:\\Windows\\system32"_s;
        QTest::newRow("no room for the null") << 260u << QString();
    }

    void systemFolderNeedsRoomForItsNull()
    {
        QFETCH(uint, length);
        wchar_t buffer[260] = L"C:\\Windows\\system32";
        QTEST(systemFolderFromAnswer(buffer, length, 260), "folder");
    }
};

QTEST_GUILESS_MAIN(tst_Core)
#include "tst_core.moc"
