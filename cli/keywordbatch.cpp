#include "cli/keywordbatch.h"

#include "cli/clioptions.h"
#include "cli/terminal.h"
#include "results/atomicfile.h"
#include "sources/serviceaddresses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>

namespace Quorvane {

namespace {

QString oneLine(const QString &text)
{
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return line.simplified();
}

} // namespace

ResultSink::ResultSink(ResultFormat format, QString outputFolder)
    : m_format(format)
    , m_outputFolder(std::move(outputFolder))
{ }

bool ResultSink::write(const KeywordResult &result, QString *error)
{
    QByteArray bytes = formatResult(result, m_format);
    if (!m_outputFolder.isEmpty()) {
        const QDir folder(m_outputFolder);
        if (!QDir().mkpath(folder.path())) {
            *error = QStringLiteral("cannot make the folder ") + m_outputFolder;
            return false;
        }
        const QString path =
            folder.filePath(reportStem(result.keyword) + resultFileSuffix(m_format));
        return writeFileAtomically(path, bytes, error);
    }
    // On standard output one keyword follows another: a byte-order mark only at the start, and
    // tables a blank line apart.
    if (m_written > 0) {
        if (m_format == ResultFormat::Csv && bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        if (m_format == ResultFormat::Table)
            bytes.prepend('\n');
    }
    ++m_written;
    writeOut(bytes);
    return true;
}

std::optional<KeywordResult> storedResult(const ReportFolder &folder, const QString &keyword,
                                          const QString &source)
{
    const QString path = findReportFile(folder, keyword);
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    KeywordResult result;
    result.reportBytes = file.readAll();
    result.reportDate = QFileInfo(file).lastModified();
    result.keyword = keyword;
    result.source = source;
    if (!loadReport(folder, QFileInfo(path).fileName(), result.list, &queryAddress))
        return std::nullopt;
    return result;
}

KeywordBatch::KeywordBatch(RunController &controller, QStringList keywords, ResultSink &sink,
                           ProgressLine &progress, bool noWait, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_keywords(std::move(keywords))
    , m_sink(sink)
    , m_progress(progress)
    , m_noWait(noWait)
{
    connect(&m_controller, &RunController::warning, this,
            [this](const QString &text) { m_warnings << oneLine(text); });
    connect(&m_controller, &RunController::keywordShown, this, [this] { m_shown = true; });
    connect(&m_controller, &RunController::stateChanged, this, &KeywordBatch::stateChanged);
    connect(&m_controller, &RunController::runEnded, this, &KeywordBatch::runEnded);
    connect(&m_controller, &RunController::progressChanged, this, [this](int value, int maximum) {
        if (m_waiting == Waiting::Run)
            m_progress.pages(value, maximum);
    });
    connect(&m_controller, &RunController::pauseEnded, this, [this] {
        if (m_waiting != Waiting::Pause)
            return;
        m_countdown.stop();
        request();
    });
    m_countdown.setInterval(std::chrono::seconds(1));
    connect(&m_countdown, &QTimer::timeout, this, &KeywordBatch::countdownTick);
}

QString KeywordBatch::label() const
{
    const QString keyword = m_keywords.value(m_index);
    if (m_keywords.size() == 1)
        return keyword;
    return QStringLiteral("[%1/%2] %3").arg(m_index + 1).arg(m_keywords.size()).arg(keyword);
}

QString KeywordBatch::warningsText() const
{
    return m_warnings.join(QLatin1Char(' '));
}

void KeywordBatch::start()
{
    QTimer::singleShot(0, this, &KeywordBatch::next);
}

void KeywordBatch::next()
{
    if (m_finished)
        return;
    if (m_interruptedBy != 0) {
        finish(m_interruptedBy == SIGINT ? ExitStatus::Interrupted : ExitStatus::Terminated);
        return;
    }
    ++m_index;
    if (m_index >= m_keywords.size()) {
        if (!m_failed.isEmpty()) {
            m_progress.finalLine(QStringLiteral("quorvane-cli: %1 of %2 keywords gave no complete "
                                                "result: %3")
                                     .arg(m_failed.size())
                                     .arg(m_keywords.size())
                                     .arg(m_failed.join(QStringLiteral(", "))),
                                 true);
            finish(ExitStatus::KeywordFailed);
        } else {
            finish(ExitStatus::Complete);
        }
        return;
    }
    m_progress.keywordStarted(label());
    request();
}

void KeywordBatch::request()
{
    m_warnings.clear();
    m_shown = false;
    m_waiting = Waiting::Request;
    m_controller.requestSuggestion(m_keywords.at(m_index));
    if (m_waiting != Waiting::Request)
        return; // the run already ended inside the call
    switch (m_controller.state()) {
    case RunController::State::CheckingConnection:
        m_waiting = Waiting::Connection;
        return;
    case RunController::State::Fetching:
        m_waiting = Waiting::Run;
        if (m_interruptedBy != 0)
            m_controller.requestSuggestion(m_keywords.at(m_index));
        return;
    default:
        break;
    }
    m_waiting = Waiting::Nothing;
    if (m_shown && m_warnings.isEmpty())
        succeeded(true);
    else if (m_controller.pacing().pausing() && m_warnings.isEmpty())
        pauseMet();
    else
        failed(warningsText());
}

void KeywordBatch::stateChanged(RunController::State state)
{
    if (m_waiting != Waiting::Connection)
        return;
    if (state == RunController::State::Fetching) {
        m_waiting = Waiting::Run;
        // A signal during the connectivity test stops the run as soon as it starts.
        if (m_interruptedBy != 0)
            QTimer::singleShot(0, this, [this] {
                if (m_waiting == Waiting::Run)
                    m_controller.requestSuggestion(m_keywords.at(m_index));
            });
    } else if (state == RunController::State::Idle) {
        // Offline: the warning says so.
        m_waiting = Waiting::Nothing;
        QTimer::singleShot(0, this, [this] { failed(warningsText()); });
    }
}

void KeywordBatch::runEnded(FetchQueue::Ending ending)
{
    if (m_waiting != Waiting::Run && m_waiting != Waiting::Request)
        return;
    m_waiting = Waiting::Nothing;
    m_spent += m_controller.runCost();
    // The controller's own handlers finish first.
    QTimer::singleShot(0, this, [this, ending] {
        switch (ending) {
        case FetchQueue::Ending::Finished:
            if (m_warnings.isEmpty()) {
                succeeded(false);
            } else {
                // Counts missing: the report was written all the same; it is given, and the
                // keyword is named as failed.
                writeRunResult();
                failed(warningsText());
            }
            break;
        case FetchQueue::Ending::NothingFound:
        case FetchQueue::Ending::SourceFailed:
            failed(warningsText());
            break;
        case FetchQueue::Ending::Stopped:
            m_progress.finalLine(m_keywords.at(m_index)
                                     + QStringLiteral(": stopped; nothing was written, an "
                                                      "earlier report is unchanged"),
                                 true);
            finish(m_interruptedBy == SIGTERM ? ExitStatus::Terminated : ExitStatus::Interrupted);
            break;
        }
    });
}

// The run's result as the list shows it after the run (what the window copies and saves),
// with the report the run wrote.
std::optional<KeywordResult> KeywordBatch::runResult() const
{
    std::optional<KeywordResult> result =
        storedResult(m_controller.sourceReportFolder(), m_keywords.at(m_index), m_source);
    if (result)
        result->list = m_controller.results().list();
    return result;
}

void KeywordBatch::writeRunResult()
{
    QString error;
    m_progress.clearLine();
    if (const std::optional<KeywordResult> result = runResult())
        m_sink.write(*result, &error);
}

void KeywordBatch::succeeded(bool reused)
{
    const std::optional<KeywordResult> result = reused
        ? storedResult(m_controller.sourceReportFolder(), m_keywords.at(m_index), m_source)
        : runResult();
    if (!result) {
        failed(QStringLiteral("its report could not be read"));
        return;
    }
    QString error;
    m_progress.clearLine();
    if (!m_sink.write(*result, &error)) {
        failed(QStringLiteral("the result could not be written: ") + error);
        return;
    }
    m_progress.finalLine(
        QStringLiteral("%1: %2 rows%3")
            .arg(label())
            .arg(result->list.listRowCount())
            .arg(reused ? QStringLiteral(", this month's stored report") : QString()));
    QTimer::singleShot(0, this, &KeywordBatch::next);
}

void KeywordBatch::failed(const QString &why)
{
    m_failed << m_keywords.at(m_index);
    m_progress.finalLine(
        label() + QStringLiteral(": ") + (why.isEmpty() ? QStringLiteral("failed") : why), true);
    QTimer::singleShot(0, this, &KeywordBatch::next);
}

void KeywordBatch::pauseMet()
{
    const QStringList left = m_keywords.mid(m_index);
    if (m_noWait) {
        m_progress.finalLine(QStringLiteral("quorvane-cli: the pause of 30 minutes after three "
                                            "runs has begun and --no-wait was given; not run: ")
                                 + left.join(QStringLiteral(", ")),
                             true);
        finish(ExitStatus::PauseMet);
        return;
    }
    m_waiting = Waiting::Pause;
    m_pauseLength = m_pauseMinute * m_controller.pacing().minutesLeft();
    m_pauseClock.start();
    countdownTick();
    m_countdown.start();
}

void KeywordBatch::countdownTick()
{
    const auto left = m_pauseLength - std::chrono::milliseconds(m_pauseClock.elapsed());
    m_progress.countdown(
        std::chrono::ceil<std::chrono::seconds>(std::max(left, std::chrono::milliseconds(0))));
}

void KeywordBatch::interrupt(int signal)
{
    if (m_finished)
        return;
    const bool again = m_interruptedBy != 0;
    m_interruptedBy = signal;
    const int status = signal == SIGTERM ? ExitStatus::Terminated : ExitStatus::Interrupted;
    if (again) {
        // A second signal: end now. A report is only ever replaced whole, so nothing is torn.
        m_controller.shutdown();
        finish(status);
        return;
    }
    switch (m_waiting) {
    case Waiting::Run:
        // As a press of Stop: the run ends through runEnded.
        m_controller.requestSuggestion(m_keywords.at(m_index));
        return;
    case Waiting::Connection:
    case Waiting::Request:
        return; // stopped as soon as it starts, or ended by next()
    case Waiting::Pause:
    case Waiting::Nothing:
        m_countdown.stop();
        m_progress.finalLine(QStringLiteral("quorvane-cli: interrupted"), true);
        finish(status);
        return;
    }
}

void KeywordBatch::finish(int status)
{
    if (m_finished)
        return;
    m_finished = true;
    m_countdown.stop();
    Q_EMIT finished(status);
}

} // namespace Quorvane
