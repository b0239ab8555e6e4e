#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Quorvane {

// The version every program shows, taken from the project's version in CMake.
QString programVersion();

// What a program tells about itself on its command line.
struct CommandLineProgram
{
    QString name; // as installed, e.g. "quorvane-pagecheck"
    QString summary; // one line on what the program does
    // The argument patterns after the name, one usage line each; none: "[options]".
    QStringList usage;
    // The program's own options, listed in the help.
    QList<QCommandLineOption> options;
    // Also accepts the options QApplication takes for itself (-platform, -style, ...).
    bool window = false;
};

// How a program ends before it starts: what to print and the exit status.
struct CommandLineExit
{
    int status = 0;
    QString standardOutput;
    QString standardError;
};

// Reads the raw arguments (the program's path first) before any application object exists, so
// that --help and --version need no display. Gives the help or the version with status 0, or a
// one-line error with status 2 for an unknown option or an option without its value. Nothing
// when the program goes on; its other arguments are its own business. An argument that reads
// as a negative number ("-1") is a value, never an option.
std::optional<CommandLineExit> readCommandLine(const CommandLineProgram &program,
                                               const QStringList &arguments);

// readCommandLine on main's arguments, printed; gives the exit status when the program ends.
std::optional<int> answerCommandLine(const CommandLineProgram &program, int argc,
                                     const char *const *argv);

} // namespace Quorvane
