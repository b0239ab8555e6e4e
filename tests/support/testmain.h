#pragma once

#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include <functional>
#include <optional>

namespace Quorvane::TestSupport {

// A helper mode: the arguments after its name in, the process's exit code out.
using HelperMode = std::function<int(const QStringList &arguments)>;
using HelperModes = QMap<QString, HelperMode>;

// "<test> --helper NAME ARG..." runs mode NAME (under the application already made); nullopt for
// any other command line, which runs the tests.
std::optional<int> runHelperMode(const QStringList &commandLine, const HelperModes &modes);

// Starts this test's own executable in helper mode `name`.
void startHelper(QProcess &process, const QString &name, const QStringList &arguments = {});

} // namespace Quorvane::TestSupport

// QTEST_GUILESS_MAIN or QTEST_MAIN for a test whose executable also serves as its own helper
// process: QUORVANE_TEST_MAIN(tst_Startup, QCoreApplication, {{"hold-lock", holdLock}}).
#define QUORVANE_TEST_MAIN(TestClass, Application, ...)                                            \
    int main(int argc, char **argv)                                                                \
    {                                                                                              \
        Application app(argc, argv);                                                               \
        if (const std::optional<int> code = ::Quorvane::TestSupport::runHelperMode(                \
                QCoreApplication::arguments(), ::Quorvane::TestSupport::HelperModes __VA_ARGS__))  \
            return *code;                                                                          \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                   \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
