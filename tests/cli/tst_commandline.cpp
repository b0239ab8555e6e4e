#include "commandline.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace Quorvane;
using namespace Qt::StringLiterals;

namespace {

constexpr int GoesOn = -1;

CommandLineProgram program(bool window)
{
    return {u"tool"_s,
            u"Does one thing."_s,
            window ? QStringList() : QStringList {u"PAGE [--repeat N]"_s},
            {QCommandLineOption(u"repeat"_s, u"Parse N times."_s, u"N"_s)},
            window};
}

} // namespace

class tst_CommandLine final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersBeforeTheProgramStarts_data()
    {
        QTest::addColumn<bool>("window");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("firstLine"); // of the standard output, or of the error

        const QString version = u"tool "_s + QStringLiteral(QUORVANE_PROJECT_VERSION);
        QTest::newRow("no arguments") << false << QStringList {} << GoesOn << QString();
        QTest::newRow("own option and values")
            << false << QStringList {u"p.html"_s, u"--repeat"_s, u"3"_s} << GoesOn << QString();
        QTest::newRow("negative number is a value")
            << false << QStringList {u"p.html"_s, u"-1"_s} << GoesOn << QString();
        QTest::newRow("help") << false << QStringList {u"--help"_s} << 0
                              << u"Usage: tool PAGE [--repeat N]"_s;
        QTest::newRow("help, short")
            << true << QStringList {u"-h"_s} << 0 << u"Usage: tool [options]"_s;
        QTest::newRow("version") << false << QStringList {u"--version"_s} << 0 << version;
        QTest::newRow("version among Qt's options")
            << true << QStringList {u"-platform"_s, u"offscreen"_s, u"-v"_s} << 0 << version;
        QTest::newRow("Qt's options for a window program")
            << true << QStringList {u"-platform"_s, u"offscreen"_s, u"-style=fusion"_s} << GoesOn
            << QString();
        QTest::newRow("Qt's options for a tool")
            << false << QStringList {u"-platform"_s, u"offscreen"_s} << 2
            << u"tool: Unknown option 'platform'. (see --help)"_s;
        QTest::newRow("unknown option") << true << QStringList {u"--bogus"_s} << 2
                                        << u"tool: Unknown option 'bogus'. (see --help)"_s;
        QTest::newRow("option without its value")
            << false << QStringList {u"p.html"_s, u"--repeat"_s} << 2
            << u"tool: Missing value after '--repeat'. (see --help)"_s;
    }

    void answersBeforeTheProgramStarts()
    {
        QFETCH(bool, window);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, firstLine);

        const std::optional<CommandLineExit> exit =
            readCommandLine(program(window), QStringList {u"/some/where/tool"_s} + arguments);
        QCOMPARE(exit ? exit->status : GoesOn, status);
        if (!exit)
            return;
        const QString &text = status == 0 ? exit->standardOutput : exit->standardError;
        QVERIFY((status == 0 ? exit->standardError : exit->standardOutput).isEmpty());
        QCOMPARE(text.section(u'\n', 0, 0), firstLine);
        QVERIFY(text.endsWith(u'\n'));
        if (firstLine.startsWith(u"Usage"_s)) {
            QVERIFY(text.contains(u"Does one thing."_s));
            QVERIFY(text.contains(u"--version"_s));
        } else {
            QCOMPARE(text.count(u'\n'), 1);
        }
    }

    // The programs answer before their application object exists: no display is needed, and a
    // window program that made its QApplication first would fail here for want of one.
    void programsAnswerWithoutADisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("status");
        for (const QString &path : QString::fromUtf8(QUORVANE_PROGRAMS).split(u',')) {
            const QByteArray name = QFileInfo(path).fileName().toUtf8();
            QTest::newRow(name + " --version") << path << u"--version"_s << 0;
            QTest::newRow(name + " --help") << path << u"--help"_s << 0;
            QTest::newRow(name + " --bogus") << path << u"--bogus"_s << 2;
        }
    }

    void programsAnswerWithoutADisplay()
    {
        QFETCH(QString, program);
        QFETCH(QString, argument);
        QFETCH(int, status);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, {argument});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray error = process.readAllStandardError();
        const QByteArray name = QFileInfo(program).fileName().toUtf8();
        if (argument == u"--version"_s)
            QCOMPARE(out, name + " " QUORVANE_PROJECT_VERSION "\n");
        else if (status == 0)
            QVERIFY(out.startsWith("Usage: " + name + ' '));
        else
            QCOMPARE(error, name + ": Unknown option 'bogus'. (see --help)\n");
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
