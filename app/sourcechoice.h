#pragma once

namespace Quorvane {

class KeyStore;
class RunController;
class SettingsStore;

// Makes the sources the settings choose, with their keys from the keychain, and gives them to the
// controller for the next run (the keychain answers later; until then the sources stay as they
// were). A paid source without a key is kept: its refusal tells the user where to enter one,
// while another source's figures would stand in for it unnoticed.
void applyChosenSources(RunController &controller, const SettingsStore &store, KeyStore &keys);

} // namespace Quorvane
