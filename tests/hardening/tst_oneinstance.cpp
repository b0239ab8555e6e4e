// Several copies of the sample program launched at the same moment over the same settings and
// report folder: exactly one of them shows its window, the others end at once, and the lock a
// killed program leaves behind never keeps the next one from starting.

#include "hardening.h"

#include <QLockFile>

class tst_OneInstance final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void simultaneousLaunchesLeaveExactlyOneProgram()
    {
        QTemporaryDir dir, runtime; // runtime: the programs' private runtime folder
        QVERIFY(dir.isValid() && runtime.isValid());
        QVERIFY(QFile::setPermissions(runtime.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // The program keeps its settings, lock and reports beside itself: a copy of its own.
        const QString copy = dir.filePath(u"quorvane-sample"_s);
        QVERIFY(QFile::copy(QStringLiteral(QUORVANE_SAMPLE_PROGRAM), copy));
        QVERIFY(QFile::setPermissions(copy, QFile::permissions(copy) | QFile::ExeOwner));
        const QString lockPath = dir.filePath(u"quorvane-instance.lock"_s);
        const int rounds = sanitized() ? 25 : 50;
        int staleLocksMet = 0;

        for (int round = 0; round < rounds; ++round) {
            // Most winners are killed, leaving their lock for the next round; every tenth ends
            // itself, late enough that every other launch of the round has ended before it.
            const bool endsItself = round % 10 == 9;
            staleLocksMet += QFile::exists(lockPath) ? 1 : 0;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
            environment.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
            environment.insert(u"QUORVANE_EXIT_AFTER_MS"_s, endsItself ? u"2500"_s : u"60000"_s);
            std::vector<std::unique_ptr<QProcess>> programs;
            for (int i = 0; i < 3 + round % 2; ++i) {
                programs.push_back(std::make_unique<QProcess>());
                programs.back()->setProcessEnvironment(environment);
                programs.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
                programs.back()->start(copy, {});
            }
            const auto running = [&programs] {
                return std::count_if(programs.cbegin(), programs.cend(), [](const auto &program) {
                    return program->state() != QProcess::NotRunning;
                });
            };
            // The others end cleanly as soon as they meet the lock; the one left holds it.
            QTRY_VERIFY2_WITH_TIMEOUT(running() <= 1, qPrintable(u"round %1"_s.arg(round)), 20000);
            QCOMPARE(running(), 1);
            QProcess *winner = nullptr;
            for (const auto &program : programs) {
                if (program->state() != QProcess::NotRunning)
                    winner = program.get();
                else
                    QVERIFY(program->exitStatus() == QProcess::NormalExit && !program->exitCode());
            }
            qint64 holder = 0;
            QVERIFY(QLockFile(lockPath).getLockInfo(&holder, nullptr, nullptr));
            QCOMPARE(holder, winner->processId());
            if (!endsItself)
                winner->kill();
            QVERIFY(winner->waitForFinished(12500));
            QCOMPARE(winner->exitStatus() == QProcess::NormalExit && !winner->exitCode(),
                     endsItself);
            QCOMPARE(QFile::exists(lockPath), !endsItself);
        }
        QVERIFY(staleLocksMet >= rounds / 2);
    }
};

QTEST_MAIN(tst_OneInstance)
#include "tst_oneinstance.moc"
