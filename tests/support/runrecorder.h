#pragma once

// A run controller without a window, in a report folder of its own and counting itself online,
// with everything it shows recorded as "what value" lines in order.

#include "runcontroller.h"
#include "settingsstore.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaEnum>
#include <QTemporaryDir>

#include <chrono>
#include <stdexcept>

namespace Quorvane::Harness {

inline QString stateName(RunController::State state)
{
    return QString::fromLatin1(QMetaEnum::fromType<RunController::State>().valueToKey(int(state)));
}

struct RunRecorder
{
    QTemporaryDir folder;
    Settings settings;
    RunController controller {ReportFolder(folder.path()), settings, nullptr};
    QStringList log;
    QElapsedTimer clock;
    QStringList addresses;
    QList<qint64> pauseStarts; // nanoseconds on clock
    QList<qint64> issueTimes;
    int completions = 0;
    QList<FetchQueue::Ending> endings;
    QList<bool> onlineAnswers; // what the probe answers, one per ask; then yes
    int onlineAsks = 0;

    explicit RunRecorder(std::chrono::nanoseconds pause = std::chrono::milliseconds(1))
    {
        clock.start();
        controller.record().currentKeyword = QStringLiteral("earlier");
        controller.connectivity().setProbe([this] {
            return onlineAsks < onlineAnswers.size() ? onlineAnswers[onlineAsks++] : true;
        });
        controller.queue().setDownloadPause(pause);
        RunController *c = &controller;
        const auto note = [this](const char *what) {
            return [this, what](const QString &value) {
                log << QLatin1String(what) + value;
            };
        };
        QObject::connect(c, &RunController::stateChanged, c, [this](RunController::State s) {
            log << QStringLiteral("state ") + stateName(s);
        });
        QObject::connect(c, &RunController::statusChanged, c, note("status "));
        QObject::connect(c, &RunController::warning, c, note("warn "));
        QObject::connect(c, &RunController::information, c, note("inform "));
        QObject::connect(c, &RunController::keywordShown, c, note("keyword "));
        QObject::connect(c, &RunController::historyChanged, c, [this] { log << "history"; });
        QObject::connect(c, &RunController::keywordSelected, c, [this] { log << "selectall"; });
        QObject::connect(c, &RunController::reportButtonsEnabled, c, [this] { log << "buttons"; });
        QObject::connect(c, &RunController::pauseEnded, c, [this] { log << "pauseended"; });
        QObject::connect(c, &RunController::progressChanged, c, [this](int value, int maximum) {
            log << QStringLiteral("progress %1/%2").arg(value).arg(maximum);
        });
        QObject::connect(&controller.queue(), &FetchQueue::pauseStarted, c, [this] {
            pauseStarts << clock.nsecsElapsed();
            log << QStringLiteral("pause");
        });
        QObject::connect(&controller.queue(), &FetchQueue::downloadIssued, c,
                         [this](const QString &url, const QString &key) {
                             issueTimes << clock.nsecsElapsed();
                             addresses << url;
                             log << QStringLiteral("download ") + key;
                         });
        QObject::connect(&controller.fetcher(), &PageFetcher::downloadHtmlComplete, c,
                         [this] { ++completions; });
        QObject::connect(c, &RunController::runEnded, c,
                         [this](FetchQueue::Ending ending) { endings << ending; });
    }

    // Entries of log that start with prefix, prefix removed; and the last of them.
    QStringList entries(const char *prefix) const
    {
        QStringList out;
        for (const QString &entry : log) {
            if (entry.startsWith(QLatin1String(prefix)))
                out << entry.mid(qsizetype(qstrlen(prefix)));
        }
        return out;
    }
    QString last(const char *prefix) const
    {
        return entries(prefix).value(entries(prefix).size() - 1);
    }
    // The log from the first entry equal to `from` on.
    QStringList from(const QString &entry) const { return log.mid(log.indexOf(entry)); }

    bool underWay() { return controller.runArmed() || controller.queue().running(); }

    // What the Suggest/Stop button does.
    void press(const QString &text = QString()) { controller.suggestPressed(text); }
    // A real event loop: qWaitFor sleeps between its looks and would slow every page down.
    bool waitForEnd(qsizetype count = 1, int timeoutMs = 20000)
    {
        QElapsedTimer waited;
        waited.start();
        while (endings.size() < count && waited.elapsed() < timeoutMs) {
            QEventLoop loop;
            QObject::connect(&controller, &RunController::runEnded, &loop, &QEventLoop::quit,
                             Qt::QueuedConnection);
            QTimer::singleShot(int(timeoutMs - waited.elapsed()), &loop, &QEventLoop::quit);
            loop.exec();
        }
        return endings.size() >= count;
    }
    // One run for text, to its end.
    FetchQueue::Ending run(const QString &text)
    {
        const qsizetype before = endings.size();
        press(text);
        if (!waitForEnd(before + 1))
            throw std::runtime_error("run did not end");
        return endings.last();
    }
};

} // namespace Quorvane::Harness
