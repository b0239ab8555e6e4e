#include "reportfile.h"
#include "textexport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace Quorvane;
using namespace Qt::StringLiterals;

class tst_CommandLine final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        for (const QString &name : paths.keys()) {
            row(name, {u"--version"_s}, 0, version);
            row(name, {u"--bogus"_s}, 2, u": Unknown option 'bogus'. (see --help)"_s);
        }
        const QString page = u"quorvane-pagecheck"_s;
        row(page, {u"--help"_s}, 0, u" keyword PAGE... [--repeat N]"_s);
        row(u"quorvane"_s, {u"-platform"_s, u"offscreen"_s, u"-style=fusion"_s, u"-v"_s}, 0,
            version);
        row(page, {u"-platform"_s, u"offscreen"_s}, 2,
            u": Unknown option 'platform'. (see --help)"_s);
        row(page, {u"p.html"_s, u"--repeat"_s}, 2,
            u": Missing value after '--repeat'. (see --help)"_s);
        row(page, {u"-1"_s, u"--version"_s}, 0, version); // a negative number is a value
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
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString error = QString::fromLocal8Bit(process.readAllStandardError());
        QCOMPARE((status == 0 ? error : output), QString()); // help goes out, errors go to stderr
        QTEST((status == 0 ? output : error).section(u'\n', 0, 0).remove(u"Usage: "_s),
              "firstLine");
    }

    // The code that runs on Windows only, checked on every platform, and the rule that keeps an
    // installed program from writing beside itself.
    void platformRules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("output");
        const auto row = [](const char *label, const char *rule, const QString &in,
                            const QString &out) {
            QTest::newRow(label) << rule << in << out;
        };
        row("notepad, Qt's separators", "notepad", u"C:/My Reports/golf clubs.kwd"_s,
            u"C:\\My Reports\\golf clubs.kwd"_s);
        row("system folder", "system", u"19"_s, u"C:\\Windows\\system32"_s);
        row("system folder failure", "system", u"0"_s, QString());
        row("system folder without room for the null", "system", u"260"_s, QString());
        row("build tree below /usr/src", "installed", u"/usr/src/q/build/bin"_s, u"0"_s);
        row("unpacked package", "installed", u"/tmp/check/root/usr/bin"_s, u"1"_s);
        row("/opt", "installed", u"/opt/quorvane/bin"_s, u"1"_s);
        row("this build's install folder", "installed", u"/home/ann/.local/bin"_s, u"1"_s);
    }

    void platformRules()
    {
        QFETCH(QString, rule);
        QFETCH(QString, input);
        wchar_t buffer[260] = L"C:\\Windows\\system32";
        const EditorCommand command = notepadCommand(u"C:\\Windows\\system32"_s, input);
        if (rule == u"notepad")
            QCOMPARE(command.program, u"C:\\Windows\\system32\\notepad.exe"_s);
        QTEST(rule == u"notepad" ? command.arguments.join(u'|')
                  : rule == u"system"
                  ? systemFolderFromAnswer(buffer, input.toUInt(), 260)
                  : QString::number(isInstalledProgramFolder(input, u"/home/ann/.local/bin"_s)),
              "output");
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
