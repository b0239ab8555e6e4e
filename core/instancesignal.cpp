#include "core/instancesignal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace Quorvane {

namespace {

constexpr char Request[] = "raise\n";

} // namespace

InstanceSignal::InstanceSignal(const QString &lockFileName, QObject *parent)
    : QObject(parent)
{
    // Socket names are short on some systems: a digest of the path stands for it.
    const QByteArray digest = QCryptographicHash::hash(
        QDir::cleanPath(QDir().absoluteFilePath(lockFileName)).toUtf8(), QCryptographicHash::Sha1);
    m_name = QStringLiteral("quorvane-") + QString::fromLatin1(digest.toHex().left(16));
}

InstanceSignal::~InstanceSignal() = default;

bool InstanceSignal::listen()
{
    if (m_server)
        return m_server->isListening();
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains('\n'))
                    Q_EMIT activationRequested();
            });
        }
    });
    // Only the lock holder gets here, so a socket already there is a dead holder's.
    if (!m_server->listen(m_name)) {
        QLocalServer::removeServer(m_name);
        return m_server->listen(m_name);
    }
    return true;
}

bool InstanceSignal::notifyRunning(int timeoutMs) const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(Request);
    const bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    return sent;
}

} // namespace Quorvane
