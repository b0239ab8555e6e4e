#pragma once

#include "core/startup.h"
#include "results/reportfile.h"
#include "store/settingsstore.h"

#include <QString>

#include <functional>
#include <memory>

namespace Quorvane {

class InstanceSignal;
class KeyStore;
class MessageBoxes;
class SingleInstance;
class MainWindow;
class RunController;

// Where one program keeps what outlives it.
struct ProgramPlaces
{
    SettingsLocation settings;
    // The report folder; empty: "report" beside the program, or in the user's data folder.
    QString reportFolder;
    // Folder of the single-instance lock; empty: the settings location's own.
    QString lockFolder;

    // The installed program's places.
    static ProgramPlaces userDefault();
};

// The start-up sequence and the main window it leads to. Both programs run it; tests too.
class Program final
{
public:
    // boxes answers the start-up's message and every message of the window; it must
    // outlive the program.
    Program(ProgramPlaces places, MessageBoxes &boxes);
    ~Program();
    Q_DISABLE_COPY_MOVE(Program)

    // Runs the start-up sequence and shows the main window. `prepare` is given the window
    // before it is shown. AnotherInstance: ends silently. SevereError: the message "Severe
    // error has occured !" has been shown and the program ends.
    StartupOutcome start(const std::function<void(MainWindow &)> &prepare = {});
    // Start, then the event loop until the main window closes; returns the process's exit code.
    int exec(const std::function<void(MainWindow &)> &prepare = {});

    MainWindow *window() const { return m_window.get(); }
    SettingsStore &store() { return m_store; }
    Settings &currentSettings() { return m_settings; }
    // The keys of the paid sources: the system keychain, or memory when none answers. One for
    // the whole program, so a key kept in memory reaches the run.
    KeyStore &keyStore() { return *m_keys; }

private:
    StartupOutcome fail(const QString &detail = {});
    void listenForLaterLaunches();

    ProgramPlaces m_places;
    MessageBoxes &m_boxes;
    SettingsStore m_store;
    Settings m_settings;
    std::unique_ptr<KeyStore> m_keys;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<InstanceSignal> m_instanceSignal;
    std::unique_ptr<RunController> m_controller;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace Quorvane
