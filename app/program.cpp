#include "app/program.h"

#include "app/mainwindow.h"
#include "app/messageboxes.h"
#include "app/settingsdialog.h"
#include "app/sourcechoice.h"
#include "app/sourcessetup.h"
#include "app/sourceswindow.h"
#include "core/instancesignal.h"
#include "core/pacing.h"
#include "core/runcontroller.h"
#include "core/singleinstance.h"
#include "store/keychain.h"

#include <QCoreApplication>

namespace Quorvane {

ProgramPlaces ProgramPlaces::userDefault()
{
    return {SettingsLocation::userDefault(), QString(), QString()};
}

Program::Program(ProgramPlaces places, MessageBoxes &boxes)
    : m_places(std::move(places))
    , m_boxes(boxes)
    , m_store(m_places.settings)
    , m_keys(std::make_unique<KeyStore>())
{
    // The settings dialog reaches the Sources window through its context menu and Ctrl+K.
    SettingsDialog::setSourcesOpener([this](QWidget *parent) {
        auto *window = new SourcesWindow(new SourcesSetup(m_store, *m_keys), parent);
        // What was saved applies from the next run on.
        QObject::connect(window, &QDialog::accepted, window, [this] {
            if (m_controller)
                applyChosenSources(*m_controller, m_store, *m_keys);
        });
        window->open();
    });
}

Program::~Program()
{
    SettingsDialog::setSourcesOpener({});
    // The window goes before the lock: a next instance never meets a half-closed one.
    m_window.reset();
    m_controller.reset();
    m_instanceSignal.reset();
    m_instance.reset();
}

StartupOutcome Program::fail(const QString &detail)
{
    m_window.reset();
    m_controller.reset();
    if (detail.isEmpty())
        m_boxes.warn(SevereErrorText);
    else
        m_boxes.warnWithDetail(SevereErrorText, detail);
    return StartupOutcome::SevereError;
}

StartupOutcome Program::start(const std::function<void(MainWindow &)> &prepare)
{
    // One trap over every step up to the shown window.
    try {
        const QString lockFolder = m_places.lockFolder.isEmpty()
            ? instanceLockFolder(m_places.settings)
            : m_places.lockFolder;
        m_instance = std::make_unique<SingleInstance>(lockFolder);
        const StartupResult started = runStartupSequence(m_store, *m_instance, m_settings);
        if (started.outcome == StartupOutcome::AnotherInstance) {
            InstanceSignal(m_instance->lockFileName()).notifyRunning();
            return started.outcome;
        }
        if (started.outcome != StartupOutcome::ShowMainWindow)
            return fail(startupFailureDetail(started, m_places.settings));

        ReportFolder folder(m_places.reportFolder.isEmpty() ? reportFolderAtStart()
                                                            : m_places.reportFolder);
        m_controller = std::make_unique<RunController>(std::move(folder), m_settings, &m_store);
        applyChosenSources(*m_controller, m_store, *m_keys);
        m_window = std::make_unique<MainWindow>(*m_controller, &m_boxes);
        if (prepare)
            prepare(*m_window);
        m_window->show();
        listenForLaterLaunches();
        return StartupOutcome::ShowMainWindow;
    } catch (...) {
        // The start-up's error trap: whatever fails before the window shows ends the program
        // with its one message.
    }
    return fail();
}

// A later launch of the same program ends, after bringing this window to the front.
void Program::listenForLaterLaunches()
{
    m_instanceSignal = std::make_unique<InstanceSignal>(m_instance->lockFileName());
    MainWindow *window = m_window.get();
    QObject::connect(m_instanceSignal.get(), &InstanceSignal::activationRequested, window,
                     [window] { window->bringToFront(); });
    m_instanceSignal->listen();
}

int Program::exec(const std::function<void(MainWindow &)> &prepare)
{
    const StartupOutcome outcome = start([&prepare](MainWindow &w) {
        if (prepare)
            prepare(w);
        QObject::connect(&w, &MainWindow::closed, &w, &QCoreApplication::quit,
                         Qt::QueuedConnection);
    });
    switch (outcome) {
    case StartupOutcome::ShowMainWindow:
        return QCoreApplication::exec();
    case StartupOutcome::AnotherInstance:
        return 0;
    case StartupOutcome::SevereError:
        break;
    }
    return 1;
}

} // namespace Quorvane
