#pragma once

#include <QString>

#include <memory>

class QLockFile;

namespace Quorvane {

class ReportFolder;

// The window and quorvane-cli share the report folder: a run holds the lock of its keyword's
// report, a file named after the report with ".lock" added, so that the same keyword is never
// run by both at once. The lock goes with the run's end, or with the program when it dies.
class ReportLock final
{
    Q_DISABLE_COPY_MOVE(ReportLock)

public:
    ReportLock();
    ~ReportLock();

    static QString lockFileName(const QString &reportFileName);

    // Takes the lock of the report `reportFileName` in the folder, releasing any held before.
    // False when another program (or another controller) runs that keyword; a folder where no
    // lock file can be made does not keep the run from starting.
    bool take(const ReportFolder &folder, const QString &reportFileName);
    void release();
    bool held() const;

private:
    std::unique_ptr<QLockFile> m_lock;
};

// Told when a run is refused because another program runs the keyword.
QString reportLockedText(const QString &keyword);

} // namespace Quorvane
