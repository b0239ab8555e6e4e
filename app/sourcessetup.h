#pragma once

#include "sources/source.h"
#include "store/sourcesettings.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

namespace Quorvane {

class KeyStore;
class RequestSender;

// What the Sources window shows and changes, without the window: the chosen sources and market,
// the keys as entered (stored in the keychain only), "Test" and saving.
class SourcesSetup final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SourcesSetup)

public:
    SourcesSetup(SettingsStore &store, KeyStore &keys, QObject *parent = nullptr);
    ~SourcesSetup() override;

    // Reads the settings at once and the keys from the keychain; `done` runs when all are in.
    void load(std::function<void()> done);

    SourceSettings &settings() { return m_settings; }
    const SourceSettings &settings() const { return m_settings; }

    SourceCredentials entered(const QString &sourceId) const { return m_entered.value(sourceId); }
    void enter(const QString &sourceId, const SourceCredentials &credentials);

    // The API sources the chosen phases use: their key fields are the ones that matter.
    QStringList sourcesInUse() const;
    // Why the choice cannot be saved (a key missing for a source in use), or empty.
    QString problem() const;

    // Stores the settings (unknown ids fall back to the classic pages) and writes every key
    // entered; `done` gets the words for the user ("Saved.", or where the keys went).
    void save(std::function<void(const QString &)> done);

    // One cheap authenticated call with the keys as entered; `done` gets the balance, the
    // searches left or why not.
    void test(const QString &sourceId, std::function<void(const QString &)> done);

    // The keychain's state in words: empty while the keychain answers.
    QString keychainNote() const;

    // For a run: the keys of a source, read from the keychain.
    static void readCredentials(KeyStore &keys, const QString &sourceId,
                                std::function<void(const SourceCredentials &)> done);

private:
    SettingsStore &m_store;
    KeyStore &m_keys;
    RequestSender *m_sender;
    SourceSettings m_settings;
    QHash<QString, SourceCredentials> m_entered;
};

} // namespace Quorvane
