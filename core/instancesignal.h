#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace Quorvane {

// Lets a second launch ask the running instance to come to the front before it ends. The
// running instance listens on a local socket named after its lock file, so programs with
// settings of their own (the sample program beside the installed one) never reach each other.
class InstanceSignal final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(InstanceSignal)

public:
    explicit InstanceSignal(const QString &lockFileName, QObject *parent = nullptr);
    ~InstanceSignal() override;

    // The holder of the lock listens; a socket left by a crashed holder is replaced.
    bool listen();
    // From the second launch: true when the running instance took the request.
    bool notifyRunning(int timeoutMs = 1000) const;

Q_SIGNALS:
    void activationRequested();

private:
    QString m_name;
    QLocalServer *m_server = nullptr;
};

} // namespace Quorvane
