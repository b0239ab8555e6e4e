#include "cli/terminal.h"

#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace Quorvane {

namespace {

int signalSockets[2] = {-1, -1};

void onSignal(int signal)
{
    const char byte = char(signal);
    // Only async-signal-safe calls here; a full socket drops the byte, the first one counts.
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
}

} // namespace

bool standardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

bool standardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

bool standardInputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

void writeOut(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void writeError(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

std::optional<QString> readSecretLine()
{
    termios saved {};
    const bool terminal = ::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    const bool read = bool(std::getline(std::cin, line));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        writeError(QStringLiteral("\n"));
    }
    if (!read && line.empty())
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

SignalWatcher::SignalWatcher(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0)
        return;
    m_notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readSignal);
    struct sigaction action
    { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

SignalWatcher::~SignalWatcher()
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
}

void SignalWatcher::readSignal()
{
    char byte = 0;
    if (::read(signalSockets[1], &byte, 1) == 1)
        Q_EMIT received(int(byte));
}

QString clockText(std::chrono::seconds seconds)
{
    const qint64 total = std::max<qint64>(0, seconds.count());
    return QStringLiteral("%1:%2").arg(total / 60).arg(total % 60, 2, 10, QLatin1Char('0'));
}

ProgressLine::ProgressLine(bool terminal, bool quiet)
    : m_terminal(terminal)
    , m_quiet(quiet)
{ }

void ProgressLine::rewrite(const QString &text)
{
    if (m_quiet)
        return;
    if (m_terminal) {
        // Back to the line's start and clear it: a shorter text leaves nothing behind.
        writeError(QStringLiteral("\r\x1b[K") + text);
        m_open = true;
    } else {
        writeError(text + u'\n');
    }
}

void ProgressLine::keywordStarted(const QString &label)
{
    m_label = label;
    m_phase = -1;
    m_clock.start();
    rewrite(m_label + QStringLiteral(": starting"));
}

void ProgressLine::pages(int value, int maximum)
{
    // The run's ending sets the bar to its maximum and back to 0; only downloads count here
    // (the last page of a run of a hundred suggestions is left to the keyword's final line).
    if (value <= 0 || value >= maximum)
        return;
    // The first two pages are the keyword database's and the product page; then one result
    // page per suggestion. A run takes at most `maximum` pages.
    const int phase = value <= 2 ? 0 : 1;
    const QString phaseText =
        phase == 0 ? QStringLiteral("keyword database") : QStringLiteral("result pages");
    if (!m_terminal) {
        if (phase != m_phase)
            rewrite(m_label + QStringLiteral(": ") + phaseText);
        m_phase = phase;
        return;
    }
    m_phase = phase;
    const qint64 elapsed = m_clock.elapsed();
    const auto left = std::chrono::seconds(elapsed * (maximum - value) / value / 1000);
    rewrite(QStringLiteral("%1: %2, page %3 of at most %4, at most %5 left")
                .arg(m_label, phaseText)
                .arg(value)
                .arg(maximum)
                .arg(clockText(left)));
}

void ProgressLine::clearLine()
{
    if (m_open)
        writeError(QStringLiteral("\r\x1b[K"));
    m_open = false;
}

void ProgressLine::finalLine(const QString &text, bool evenWhenQuiet)
{
    clearLine();
    if (m_quiet && !evenWhenQuiet)
        return;
    writeError(text + u'\n');
}

void ProgressLine::countdown(std::chrono::seconds left)
{
    const QString text =
        QStringLiteral("Pause between runs, as the settings ask: %1 left (--no-wait ends instead)")
            .arg(clockText(left));
    if (m_terminal) {
        rewrite(text);
        return;
    }
    // Once a minute is enough in a log.
    const qint64 minute = left.count() / 60;
    if (minute != m_lastCountdownMinute)
        rewrite(text);
    m_lastCountdownMinute = minute;
}

} // namespace Quorvane
