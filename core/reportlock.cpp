#include "core/reportlock.h"

#include "results/reportfile.h"

#include <QLockFile>

namespace Quorvane {

ReportLock::ReportLock() = default;

ReportLock::~ReportLock() = default;

QString ReportLock::lockFileName(const QString &reportFileName)
{
    return reportFileName.toLower() + QStringLiteral(".lock");
}

bool ReportLock::take(const ReportFolder &folder, const QString &reportFileName)
{
    release();
    folder.ensureExists();
    auto lock = std::make_unique<QLockFile>(folder.filePath(lockFileName(reportFileName)));
    // A run may take many minutes, so only a holder that no longer runs makes a lock stale.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        m_lock = std::move(lock);
        return true;
    }
    return lock->error() != QLockFile::LockFailedError;
}

void ReportLock::release()
{
    m_lock.reset();
}

bool ReportLock::held() const
{
    return m_lock && m_lock->isLocked();
}

QString reportLockedText(const QString &keyword)
{
    return QStringLiteral("\"") + keyword
        + QStringLiteral("\" is being run by another Quorvane window or quorvane-cli.\r\n"
                         "Try again when that run has ended.");
}

} // namespace Quorvane
