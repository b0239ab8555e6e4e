#include "core/commandline.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cstdio>

namespace Quorvane {

namespace {

constexpr int UsageError = 2;

// The options QGuiApplication and QApplication take out of the arguments themselves; a window
// program accepts them without listing them.
QList<QCommandLineOption> qtWindowOptions()
{
    QList<QCommandLineOption> options;
    for (const char *name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
          "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "display", "name", "session",
          "style", "stylesheet", "qmljsdebugger"})
        options << QCommandLineOption(QString::fromLatin1(name), QString(),
                                      QStringLiteral("value"));
    for (const char *name : {"reverse", "widgetcount", "testability", "nograb", "dograb", "sync"})
        options << QCommandLineOption(QString::fromLatin1(name));
    for (QCommandLineOption &option : options)
        option.setFlags(QCommandLineOption::HiddenFromHelp);
    return options;
}

bool isNegativeNumber(const QString &argument)
{
    static const QRegularExpression number(QStringLiteral("^-[0-9][0-9.]*$"));
    return number.match(argument).hasMatch();
}

} // namespace

QString programVersion()
{
    return QStringLiteral(QUORVANE_VERSION);
}

std::optional<CommandLineExit> readCommandLine(const CommandLineProgram &program,
                                               const QStringList &arguments)
{
    QCommandLineParser parser;
    // Qt's own window options come with one dash (-platform); -h and -v stay short names.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(program.summary);
    // Not addHelpOption(): it would list --help-all, which needs the application object.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the program's version and exit."));
    parser.addOptions({help, version});
    parser.addOptions(program.options);
    if (program.window)
        parser.addOptions(qtWindowOptions());

    QStringList options;
    for (const QString &argument : arguments) {
        if (options.isEmpty() || !isNegativeNumber(argument))
            options << argument;
    }
    if (!parser.parse(options)) {
        return CommandLineExit {UsageError,
                                {},
                                program.name + QStringLiteral(": ") + parser.errorText()
                                    + QStringLiteral(" (see --help)\n")};
    }
    if (parser.isSet(help)) {
        QStringList usage = program.usage;
        if (usage.isEmpty())
            usage << QStringLiteral("[options]");
        QString text;
        for (qsizetype i = 0; i < usage.size(); ++i) {
            text += (i == 0 ? QStringLiteral("Usage: ") : QStringLiteral("       ")) + program.name
                + QLatin1Char(' ') + usage.at(i) + QLatin1Char('\n');
        }
        // Qt's first line names the program by a placeholder without an application object.
        const QString generated = parser.helpText();
        text += generated.mid(generated.indexOf(QLatin1Char('\n')) + 1);
        if (program.window)
            text += QStringLiteral("\nThe standard options of Qt programs, such as -platform and "
                                   "-style, are accepted as well.\n");
        return CommandLineExit {0, text, {}};
    }
    if (parser.isSet(version))
        return CommandLineExit {0, program.name + QLatin1Char(' ') + programVersion() + u'\n', {}};
    return std::nullopt;
}

std::optional<int> answerCommandLine(const CommandLineProgram &program, int argc,
                                     const char *const *argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const std::optional<CommandLineExit> exit = readCommandLine(program, arguments);
    if (!exit)
        return std::nullopt;
    std::fputs(exit->standardOutput.toLocal8Bit().constData(), stdout);
    std::fputs(exit->standardError.toLocal8Bit().constData(), stderr);
    std::fflush(stdout);
    return exit->status;
}

} // namespace Quorvane
