#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

class QSocketNotifier;

namespace Quorvane {

bool standardOutputIsTerminal();
bool standardErrorIsTerminal();
bool standardInputIsTerminal();

// Writes to standard output or standard error at once, unbuffered by Qt.
void writeOut(const QByteArray &bytes);
void writeError(const QString &text);

// One line from standard input, without its line end; the typed characters are not echoed when
// it is a terminal. Nothing at the end of the input.
std::optional<QString> readSecretLine();

// SIGINT and SIGTERM turned into a signal of the event loop, so a run is stopped as Stop does
// rather than cut off.
class SignalWatcher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SignalWatcher)

public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

Q_SIGNALS:
    void received(int signal);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

// Progress on standard error: on a terminal one line per keyword that is rewritten in place,
// otherwise a plain line when a keyword starts, changes phase and ends. Quiet: nothing.
class ProgressLine final
{
    Q_DISABLE_COPY_MOVE(ProgressLine)

public:
    ProgressLine(bool terminal, bool quiet);

    void keywordStarted(const QString &label);
    // value pages of maximum done.
    void pages(int value, int maximum);
    // Takes the rewritten line off the screen, before results go to a terminal's standard
    // output.
    void clearLine();
    // A line that stays: the end of a keyword, or what went wrong. Shown even when quiet.
    void finalLine(const QString &text, bool evenWhenQuiet = false);
    // The pause between runs: what is left.
    void countdown(std::chrono::seconds left);

private:
    void rewrite(const QString &text);

    bool m_terminal;
    bool m_quiet;
    bool m_open = false; // a rewritten line is on the screen
    QString m_label;
    int m_phase = -1;
    QElapsedTimer m_clock;
    qint64 m_lastCountdownMinute = -1;
};

QString clockText(std::chrono::seconds seconds);

} // namespace Quorvane
