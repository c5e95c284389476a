#include "ui/platform/instancechannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

namespace {
const QByteArray request = QByteArrayLiteral("avanti\n");
const QByteArray answer = QByteArrayLiteral("ok\n");
} // namespace

bool InstanceChannel::listen(const QString &name) {
    if (name.isEmpty())
        return false;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(name);
    if (!m_server->listen(name))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                // A caller writes one short line; anything longer is not ours to read.
                if (!peer->canReadLine() && peer->bytesAvailable() < 64)
                    return;
                const QByteArray line = peer->readLine(64);
                if (line == request) {
                    peer->write(answer);
                    peer->flush();
                    if (m_window)
                        bringForward(m_window->window());
                }
                peer->disconnectFromServer();
            });
        }
    });
    return true;
}

bool InstanceChannel::callRunning(const QString &name, int timeoutMs) {
    if (name.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    }
    return socket.readLine(64) == answer;
}

void InstanceChannel::bringForward(QWidget *window) {
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}
