#include "core/singleinstance.h"

#include <QDir>
#include <QLockFile>

namespace Quorvane {

SingleInstance::SingleInstance(QString folder)
    : m_folder(std::move(folder))
{ }

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockFileName() const
{
    return QDir(m_folder).filePath(QStringLiteral("quorvane-instance.lock"));
}

bool SingleInstance::isHeld() const
{
    return m_lock && m_lock->isLocked();
}

InstanceCheck SingleInstance::acquire()
{
    if (isHeld())
        return InstanceCheck::Acquired;
    if (!QDir().mkpath(m_folder))
        return InstanceCheck::Unavailable;

    m_lock = std::make_unique<QLockFile>(lockFileName());
    // The lock lasts as long as the program, so its age says nothing; only a holder that no
    // longer runs makes it stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return InstanceCheck::Acquired;
    return m_lock->error() == QLockFile::LockFailedError ? InstanceCheck::AnotherRunning
                                                         : InstanceCheck::Unavailable;
}

} // namespace Quorvane
