#include "commandline.h"

#include <QFileInfo>
#include <QProcess>
#include <QTest>

using namespace Quorvane;
using namespace Qt::StringLiterals;

class tst_CommandLine final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersBeforeTheProgramStarts_data()
    {
        QTest::addColumn<bool>("window");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status"); // -1: the program goes on
        QTest::addColumn<QString>("firstLine"); // of the standard output, or of the error

        const QString version = u"tool "_s + QStringLiteral(QUORVANE_PROJECT_VERSION);
        QTest::newRow("negative number is a value")
            << false << QStringList {u"p.html"_s, u"-1"_s} << -1 << QString();
        QTest::newRow("help") << false << QStringList {u"--help"_s} << 0
                              << u"Usage: tool PAGE [--repeat N]"_s;
        QTest::newRow("help, short, no usage given")
            << true << QStringList {u"-h"_s} << 0 << u"Usage: tool [options]"_s;
        QTest::newRow("version among Qt's options")
            << true << QStringList {u"-platform"_s, u"offscreen"_s, u"-v"_s} << 0 << version;
        QTest::newRow("Qt's options for a window program")
            << true << QStringList {u"-platform"_s, u"offscreen"_s, u"-style=fusion"_s} << -1
            << QString();
        QTest::newRow("Qt's options for a tool")
            << false << QStringList {u"-platform"_s, u"offscreen"_s} << 2
            << u"tool: Unknown option 'platform'. (see --help)"_s;
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

        const CommandLineProgram program {
            u"tool"_s,
            u"Does one thing."_s,
            window ? QStringList() : QStringList {u"PAGE [--repeat N]"_s},
            {QCommandLineOption(u"repeat"_s, u"Parse N times."_s, u"N"_s)},
            window};
        const std::optional<CommandLineExit> exit =
            readCommandLine(program, QStringList {u"/some/where/tool"_s} + arguments);
        QCOMPARE(exit ? exit->status : -1, status);
        if (!exit)
            return;
        const QString text = exit->standardOutput + exit->standardError;
        QCOMPARE(text.section(u'\n', 0, 0), firstLine);
        QCOMPARE((status == 0 ? exit->standardOutput : exit->standardError), text);
        if (firstLine.startsWith(u"Usage"_s))
            QVERIFY(text.contains(u"Does one thing."_s) && text.contains(u"--version"_s));
        else
            QCOMPARE(text.count(u'\n'), 1);
    }

    // No display: a window program that made its QApplication first would fail here.
    void programsAnswerWithoutADisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output"); // the first line
        for (const QString &path : QString::fromUtf8(QUORVANE_PROGRAMS).split(u',')) {
            const QString name = QFileInfo(path).fileName();
            QTest::newRow(qPrintable(name + u" --version"_s))
                << path << u"--version"_s << 0
                << name + u' ' + QStringLiteral(QUORVANE_PROJECT_VERSION);
            QTest::newRow(qPrintable(name + u" --bogus"_s))
                << path << u"--bogus"_s << 2 << name + u": Unknown option 'bogus'. (see --help)"_s;
        }
    }

    void programsAnswerWithoutADisplay()
    {
        QFETCH(QString, program);
        QFETCH(QString, argument);
        QFETCH(int, status);
        QFETCH(QString, output);

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"DISPLAY"_s);
        environment.remove(u"WAYLAND_DISPLAY"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, {argument});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), status);
        QCOMPARE(QString::fromLocal8Bit(process.readAll()), output + u'\n');
    }
};

QTEST_GUILESS_MAIN(tst_CommandLine)
#include "tst_commandline.moc"
