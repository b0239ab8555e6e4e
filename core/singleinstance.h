#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class QLockFile;

namespace Quorvane {

enum class InstanceCheck {
    Acquired, // this is the only instance
    AnotherRunning, // a live instance holds the lock
    Unavailable, // the lock folder cannot be used; nothing is known about other instances
};

// One program per lock folder. The lock file names the holder's process, so the lock left by a
// crashed or killed instance is recognised and cleared by the next start.
class SingleInstance final
{
public:
    explicit SingleInstance(QString folder);
    ~SingleInstance();
    Q_DISABLE_COPY_MOVE(SingleInstance)

    // Holds the lock until this object goes.
    InstanceCheck acquire();
    bool isHeld() const;
    QString lockFileName() const;

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace Quorvane
