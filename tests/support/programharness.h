#pragma once

// The program started in a folder of its own, as it starts, with a scripted person answering
// its message boxes, runs at test speed and no outside program ever opened.

#include "app/mainwindow.h"
#include "app/messageboxes.h"
#include "app/program.h"
#include "app/textexport.h"
#include "core/runcontroller.h"
#include "store/settingsstore.h"
#include "tests/support/testfiles.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <memory>

namespace Quorvane::Harness {

class ScriptedBoxes final : public MessageBoxes
{
public:
    QStringList shown;
    QList<bool> answers; // for confirmations, in order; Yes when none is left

    void warn(const QString &text) override { shown << QStringLiteral("warn: ") + text; }
    void inform(const QString &text) override { shown << QStringLiteral("inform: ") + text; }
    bool confirm(const QString &text) override
    {
        shown << QStringLiteral("confirm: ") + text;
        return answers.isEmpty() ? true : answers.takeFirst();
    }
};

class ProgramUnderTest
{
public:
    explicit ProgramUnderTest(QString folder)
        : m_folder(std::move(folder))
    { }

    ProgramPlaces places() const
    {
        return {SettingsLocation::iniFile(QDir(m_folder).filePath(QStringLiteral("quorvane.ini"))),
                reportFolder(), QString()};
    }
    QString reportFolder() const { return QDir(m_folder).filePath(QStringLiteral("report")); }
    QString reportPath(const QString &name) const { return QDir(reportFolder()).filePath(name); }

    // Pause "Don't care", so that many runs in a row never meet the 30-minute pause.
    void writeDontCare()
    {
        SettingsStore store(places().settings);
        store.writeDefaultSettings(Settings {});
        store.saveInterval(99);
    }

    MainWindow *start(std::chrono::nanoseconds pause = std::chrono::milliseconds(1))
    {
        stop();
        m_program = std::make_unique<Program>(places(), boxes);
        m_program->start([this, pause](MainWindow &w) {
            w.controller().setOnlineProbe([] { return true; });
            w.controller().setDownloadPause(pause);
            const auto open = [this](const QUrl &url) {
                opened << url;
                return desktopOpens;
            };
            w.setUrlOpener(open);
            w.setBrowserOpener([open](const QString &a) { return open(QUrl(a)); });
            w.exporter().setDocumentOpener([](const QUrl &) { return false; });
        });
        return window(); // none unless the start-up showed it
    }
    void stop() { m_program.reset(); }

    MainWindow *window() const { return m_program ? m_program->window() : nullptr; }
    Program *program() const { return m_program.get(); }

    template<class T>
    T *child(const char *name) const
    {
        T *found = window() ? window()->findChild<T *>(QLatin1String(name)) : nullptr;
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QComboBox *keywordBox() const { return child<QComboBox>("cmbKeyword"); }
    QPushButton *button(const char *name) const { return child<QPushButton>(name); }

    // Puts text into the keyword box as a paste does: whole, control characters included.
    void enter(const QString &text) { keywordBox()->lineEdit()->setText(text); }
    // Types text into the emptied keyword box key by key.
    void type(const QString &text)
    {
        QLineEdit *edit = keywordBox()->lineEdit();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    void click(const char *name) { QTest::mouseClick(button(name), Qt::LeftButton); }

    // Suggest for text, to the run's end. Nothing when no run ended within timeoutMs (a stored
    // report shown, a refusal, or a hang).
    std::optional<FetchQueue::Ending> suggest(const QString &text, int timeoutMs)
    {
        QSignalSpy ended(&window()->controller(), &RunController::runEnded);
        enter(text);
        click("cmdSuggestion");
        if (ended.isEmpty() && !ended.wait(timeoutMs))
            return std::nullopt;
        return ended.first().first().value<FetchQueue::Ending>();
    }

    ScriptedBoxes boxes;
    QList<QUrl> opened;
    bool desktopOpens = true; // what the desktop answers when asked to open an address

private:
    QString m_folder;
    std::unique_ptr<Program> m_program;
};

} // namespace Quorvane::Harness
