#pragma once

#include "core/fetchqueue.h"
#include "core/runcontroller.h"
#include "results/resultformats.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <chrono>

namespace Quorvane {

class ProgressLine;

// Where a keyword's result goes: standard output (one after the other) or one file per keyword.
class ResultSink final
{
    Q_DISABLE_COPY_MOVE(ResultSink)

public:
    ResultSink(ResultFormat format, QString outputFolder);
    // False, with the reason, when the file could not be written.
    bool write(const KeywordResult &result, QString *error);

private:
    ResultFormat m_format;
    QString m_outputFolder;
    int m_written = 0;
};

// The stored report of a keyword as a result: the list as a load shows it. Nothing when the
// folder holds no readable report of it.
std::optional<KeywordResult> storedResult(const ReportFolder &folder, const QString &keyword,
                                          const QString &source);

// Runs keywords one after the other through the controller, as presses of Suggest would: this
// month's report is reused, the pause between runs is waited out (or, with noWait, ends the
// batch), and a signal stops the run under way as Stop does. Every keyword that gave a result
// goes to the sink; the others are named at the end.
class KeywordBatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(KeywordBatch)

public:
    KeywordBatch(RunController &controller, QStringList keywords, ResultSink &sink,
                 ProgressLine &progress, bool noWait, QObject *parent = nullptr);

    // How long a minute of the pause lasts; the sample services' trials shorten it.
    void setPauseMinute(std::chrono::milliseconds minute) { m_pauseMinute = minute; }

    // The source of suggestions, as the results name it.
    void setSourceId(const QString &id) { m_source = id; }
    // What the runs cost, by the services' own answers.
    double spent() const { return m_spent; }

    void start();
    // SIGINT or SIGTERM: the run under way stops as Stop does; a second one ends at once.
    void interrupt(int signal);

Q_SIGNALS:
    void finished(int exitStatus);

private:
    enum class Waiting { Nothing, Request, Connection, Run, Pause };

    void next();
    void request();
    void stateChanged(RunController::State state);
    void runEnded(FetchQueue::Ending ending);
    std::optional<KeywordResult> runResult() const;
    void writeRunResult();
    void succeeded(bool reused);
    void failed(const QString &why);
    void pauseMet();
    void countdownTick();
    void finish(int status);
    QString label() const;
    QString warningsText() const;

    RunController &m_controller;
    QStringList m_keywords;
    ResultSink &m_sink;
    ProgressLine &m_progress;
    bool m_noWait;
    std::chrono::milliseconds m_pauseMinute = Pacing::MinuteTick;

    qsizetype m_index = -1;
    Waiting m_waiting = Waiting::Nothing;
    QStringList m_warnings;
    bool m_shown = false;
    QStringList m_failed;
    int m_interruptedBy = 0;
    bool m_finished = false;
    QString m_source = QStringLiteral("classic");
    double m_spent = 0;
    QTimer m_countdown;
    QElapsedTimer m_pauseClock;
    std::chrono::milliseconds m_pauseLength {0};
};

} // namespace Quorvane
