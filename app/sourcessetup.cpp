#include "app/sourcessetup.h"

#include "core/sourcechoice.h"
#include "sources/accountcheck.h"
#include "sources/sourcecatalog.h"
#include "store/keychain.h"

#include <QPointer>

#include <memory>

namespace Quorvane {

SourcesSetup::SourcesSetup(SettingsStore &store, KeyStore &keys, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_keys(keys)
    , m_sender(new RequestSender(this))
    , m_settings(loadSourceSettings(store))
{
    m_settings.suggestionSource = validSuggestionSource(m_settings.suggestionSource);
    m_settings.countSource = validCountSource(m_settings.countSource);
}

SourcesSetup::~SourcesSetup() = default;

void SourcesSetup::readCredentials(KeyStore &keys, const QString &sourceId,
                                   std::function<void(const SourceCredentials &)> done)
{
    readSourceCredentials(keys, sourceId, std::move(done));
}

void SourcesSetup::load(std::function<void()> done)
{
    QStringList ids;
    for (const SourceInfo &info : sourceCatalog()) {
        if (info.keyKind != KeyKind::None)
            ids << info.id;
    }
    auto left = std::make_shared<int>(int(ids.size()));
    if (ids.isEmpty()) {
        done();
        return;
    }
    // The keychain answers later; the window may be gone by then.
    const QPointer<SourcesSetup> self(this);
    for (const QString &id : std::as_const(ids)) {
        readCredentials(m_keys, id,
                        [this, self, id, left, done](const SourceCredentials &credentials) {
                            if (!self)
                                return;
                            if (!m_entered.contains(id))
                                m_entered.insert(id, credentials);
                            if (--*left == 0)
                                done();
                        });
    }
}

void SourcesSetup::enter(const QString &sourceId, const SourceCredentials &credentials)
{
    m_entered.insert(sourceId, credentials);
}

QStringList SourcesSetup::sourcesInUse() const
{
    QStringList ids;
    for (const QString &id : {m_settings.suggestionSource, m_settings.countSource}) {
        if (isPaidSource(id) && !ids.contains(id))
            ids << id;
    }
    return ids;
}

QString SourcesSetup::problem() const
{
    for (const QString &id : sourcesInUse()) {
        const SourceInfo *info = findSource(id);
        const SourceCredentials credentials = entered(id);
        const bool loginMissing =
            info->keyKind == KeyKind::LoginAndPassword && credentials.login.trimmed().isEmpty();
        if (loginMissing || credentials.secret.isEmpty())
            return info->keyKind == KeyKind::ApiKey
                ? QStringLiteral("Enter the %1 API key.").arg(info->displayName)
                : QStringLiteral("Enter the %1 login and password.").arg(info->displayName);
    }
    return {};
}

void SourcesSetup::save(std::function<void(const QString &)> done)
{
    m_settings.suggestionSource = validSuggestionSource(m_settings.suggestionSource);
    m_settings.countSource = validCountSource(m_settings.countSource);
    const bool stored = saveSourceSettings(m_store, m_settings);

    // Every key entered goes to the keychain, an emptied one is removed from it.
    struct Write
    {
        QString entry;
        QString value;
    };
    QList<Write> writes;
    for (const SourceInfo &info : sourceCatalog()) {
        if (info.keyKind == KeyKind::None || !m_entered.contains(info.id))
            continue;
        const SourceCredentials credentials = m_entered.value(info.id);
        if (!info.loginEntry.isEmpty())
            writes.append({info.loginEntry, credentials.login.trimmed()});
        writes.append({info.secretEntry, credentials.secret});
    }
    auto left = std::make_shared<int>(int(writes.size()));
    const QPointer<SourcesSetup> self(this);
    const auto finish = [this, self, stored, done] {
        if (!self)
            return;
        QString words = stored ? QStringLiteral("Saved.")
                               : QStringLiteral("The settings could not be stored: %1.")
                                     .arg(m_store.writeFailureReason());
        if (m_keys.memoryOnly())
            words += QLatin1Char(' ') + KeyStore::memoryOnlyText();
        done(words);
    };
    if (writes.isEmpty()) {
        finish();
        return;
    }
    for (const Write &write : std::as_const(writes)) {
        const auto next = [left, finish](KeyStore::Outcome, const QString &) {
            if (--*left == 0)
                finish();
        };
        if (write.value.isEmpty())
            m_keys.remove(write.entry, next);
        else
            m_keys.write(write.entry, write.value, next);
    }
}

void SourcesSetup::test(const QString &sourceId, std::function<void(const QString &)> done)
{
    const SourceInfo *info = findSource(sourceId);
    const SourceCredentials credentials = entered(sourceId);
    const std::optional<SourceRequest> request =
        accountCheckRequest(sourceId, credentials, sourceBaseAddress(sourceId));
    if (!info || !request) {
        done(QStringLiteral("The classic pages need no key."));
        return;
    }
    if (credentials.secret.isEmpty()
        || (info->keyKind == KeyKind::LoginAndPassword && credentials.login.trimmed().isEmpty())) {
        done(info->keyKind == KeyKind::ApiKey
                 ? QStringLiteral("Enter the %1 API key first.").arg(info->displayName)
                 : QStringLiteral("Enter the %1 login and password first.").arg(info->displayName));
        return;
    }
    m_sender->send(*request,
                   [sourceId, secret = credentials.secret,
                    done = std::move(done)](const FetchOutcome &outcome) {
                       if (outcome.cancelled)
                           return;
                       done(
                           accountStateText(sourceId, readAccountCheck(sourceId, outcome, secret)));
                   });
}

QString SourcesSetup::keychainNote() const
{
    return m_keys.memoryOnly() ? KeyStore::memoryOnlyText() : QString();
}

} // namespace Quorvane
