// Several copies of the sample program launched at the same moment over the same settings and
// report folder: exactly one of them shows its window, the others end at once, and the lock a
// killed program leaves behind never keeps the next one from starting.

#include "hardening.h"

#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <vector>

using namespace Quorvane;
using namespace Qt::StringLiterals;
using namespace Quorvane::Hardening;

namespace {

// A program that wins a round it is killed in lives until then; this only bounds an orphan.
constexpr int KilledRoundLifeMs = 60000;
// Long enough that every other launch of the round has ended before the winner does.
constexpr int OwnEndRoundLifeMs = 2500;

} // namespace

class tst_OneInstance final : public QObject
{
    Q_OBJECT

private Q_SLOTS:

    void initTestCase()
    {
        QVERIFY(m_dir.isValid() && m_runtime.isValid());
        QVERIFY(QFile::setPermissions(m_runtime.path(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        // The program keeps its settings, lock and reports beside itself: a copy of its own.
        m_program = m_dir.filePath(u"quorvane-sample"_s);
        QVERIFY(QFile::copy(QStringLiteral(QUORVANE_SAMPLE_PROGRAM), m_program));
        QVERIFY(QFile::setPermissions(m_program, QFile::permissions(m_program) | QFile::ExeOwner));
    }

    void simultaneousLaunchesLeaveExactlyOneProgram()
    {
        const int rounds = sanitized() ? 25 : 50;
        const QString lockPath = m_dir.filePath(u"quorvane-instance.lock"_s);
        QElapsedTimer total;
        total.start();
        int launches = 0;
        int staleLocksMet = 0;

        for (int round = 0; round < rounds; ++round) {
            // Most winners are killed, leaving their lock for the next round; every tenth ends
            // itself.
            const bool endsItself = round % 10 == 9;
            const int count = 3 + round % 2;
            staleLocksMet += QFile::exists(lockPath) ? 1 : 0;

            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
            environment.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
            environment.insert(u"QUORVANE_EXIT_AFTER_MS"_s,
                               QString::number(endsItself ? OwnEndRoundLifeMs : KilledRoundLifeMs));
            std::vector<std::unique_ptr<QProcess>> programs;
            for (int i = 0; i < count; ++i) {
                programs.push_back(std::make_unique<QProcess>());
                programs.back()->setProcessEnvironment(environment);
                programs.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
                programs.back()->start(m_program, {});
            }
            for (const auto &program : programs)
                QVERIFY(program->waitForStarted(10000));
            launches += count;

            // Every process that holds the lock during the round: a program past its instance test.
            QSet<qint64> holders;
            QTimer watch;
            QObject::connect(&watch, &QTimer::timeout, &watch, [&] {
                qint64 pid = 0;
                QString host;
                QString application;
                if (QLockFile(lockPath).getLockInfo(&pid, &host, &application)) {
                    for (const auto &program : programs) {
                        if (program->processId() == pid && program->state() != QProcess::NotRunning)
                            holders.insert(pid);
                    }
                }
            });
            watch.start(2);

            auto running = [&programs] {
                return std::count_if(programs.cbegin(), programs.cend(), [](const auto &program) {
                    return program->state() != QProcess::NotRunning;
                });
            };
            // The others end as soon as they meet the lock; the one left is the one holding it.
            QTRY_VERIFY2_WITH_TIMEOUT(running() <= 1, qPrintable(u"round %1"_s.arg(round)), 20000);
            QCOMPARE(running(), 1);
            QProcess *winner = nullptr;
            for (const auto &program : programs) {
                if (program->state() != QProcess::NotRunning) {
                    winner = program.get();
                } else {
                    QCOMPARE(program->exitStatus(), QProcess::NormalExit);
                    QCOMPARE(program->exitCode(), 0);
                }
            }
            QTRY_VERIFY_WITH_TIMEOUT(holders.contains(winner->processId()), 5000);

            if (endsItself) {
                QVERIFY(winner->waitForFinished(OwnEndRoundLifeMs + 10000));
                QCOMPARE(winner->exitStatus(), QProcess::NormalExit);
                QCOMPARE(winner->exitCode(), 0);
                // A program that ends normally takes its lock with it.
                QVERIFY(!QFile::exists(lockPath));
            } else {
                winner->kill();
                QVERIFY(winner->waitForFinished(10000));
                QVERIFY(QFile::exists(lockPath));
            }
            watch.stop();
            QCOMPARE(holders.size(), 1);
        }
        qInfo("launch rounds: %d (%d launches, %d rounds after a killed program's lock), %lld ms a "
              "round on average",
              rounds, launches, staleLocksMet, total.elapsed() / rounds);
        QVERIFY(staleLocksMet >= rounds / 2);
    }

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_runtime; // the programs' private runtime folder
    QString m_program;
};

QTEST_MAIN(tst_OneInstance)
#include "tst_oneinstance.moc"
