#include "store/keychain.h"

#include <qt6keychain/keychain.h>

#include <QPointer>
#include <QTimer>

namespace Quorvane {

namespace {

// A keychain that is there but has nothing under the name answers EntryNotFound; every other
// error means no keychain could be asked (no Secret Service on the bus, no bus at all).
bool noKeychain(QKeychain::Error error)
{
    return error != QKeychain::NoError && error != QKeychain::EntryNotFound;
}

} // namespace

KeyStore::KeyStore(QString service, QObject *parent)
    : QObject(parent)
    , m_service(std::move(service))
{ }

QString KeyStore::memoryOnlyText()
{
    return QStringLiteral("No keychain answered: keys are kept in memory only, until Quorvane "
                          "ends.");
}

void KeyStore::fallBack()
{
    if (m_memoryOnly)
        return;
    m_memoryOnly = true;
    Q_EMIT memoryOnlyChanged(true);
}

void KeyStore::read(const QString &entry, Done done)
{
    if (m_memoryOnly || m_memory.contains(entry)) {
        const bool found = m_memory.contains(entry);
        const QString value = m_memory.value(entry);
        QTimer::singleShot(0, this, [found, value, done = std::move(done)] {
            done(found ? Outcome::InMemory : Outcome::NotFound, value);
        });
        return;
    }
    auto *job = new QKeychain::ReadPasswordJob(m_service, this);
    job->setKey(entry);
    // Never a plain file, whatever the library would offer.
    job->setInsecureFallback(false);
    connect(job, &QKeychain::Job::finished, this,
            [this, entry, done = std::move(done)](QKeychain::Job *finished) {
                auto *read = static_cast<QKeychain::ReadPasswordJob *>(finished);
                if (read->error() == QKeychain::NoError) {
                    done(Outcome::InKeychain, read->textData());
                    return;
                }
                if (noKeychain(read->error()))
                    fallBack();
                const bool found = m_memory.contains(entry);
                done(found ? Outcome::InMemory : Outcome::NotFound, m_memory.value(entry));
            });
    job->start();
}

void KeyStore::write(const QString &entry, const QString &value, Done done)
{
    if (m_memoryOnly) {
        m_memory.insert(entry, value);
        QTimer::singleShot(0, this, [done = std::move(done)] { done(Outcome::InMemory, {}); });
        return;
    }
    auto *job = new QKeychain::WritePasswordJob(m_service, this);
    job->setKey(entry);
    job->setInsecureFallback(false);
    job->setTextData(value);
    connect(job, &QKeychain::Job::finished, this,
            [this, entry, value, done = std::move(done)](QKeychain::Job *finished) {
                if (finished->error() == QKeychain::NoError) {
                    m_memory.remove(entry);
                    done(Outcome::InKeychain, {});
                    return;
                }
                fallBack();
                m_memory.insert(entry, value);
                done(Outcome::InMemory, {});
            });
    job->start();
}

void KeyStore::remove(const QString &entry, Done done)
{
    const bool wasInMemory = m_memory.remove(entry) > 0;
    if (m_memoryOnly) {
        QTimer::singleShot(0, this, [wasInMemory, done = std::move(done)] {
            done(wasInMemory ? Outcome::InMemory : Outcome::NotFound, {});
        });
        return;
    }
    auto *job = new QKeychain::DeletePasswordJob(m_service, this);
    job->setKey(entry);
    job->setInsecureFallback(false);
    connect(job, &QKeychain::Job::finished, this,
            [this, done = std::move(done)](QKeychain::Job *finished) {
                if (noKeychain(finished->error())
                    && finished->error() != QKeychain::CouldNotDeleteEntry)
                    fallBack();
                done(finished->error() == QKeychain::NoError ? Outcome::InKeychain
                                                             : Outcome::NotFound,
                     {});
            });
    job->start();
}

} // namespace Quorvane
