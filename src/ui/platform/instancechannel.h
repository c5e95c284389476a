#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QLocalServer;
class QWidget;

// The running program listens on a local socket named after its application folder; a
// second start on the same folder calls through it, and the running window comes to the
// front.
class InstanceChannel : public QObject {
    Q_OBJECT
public:
    // The running side: listens until it is destroyed. Only the holder of the lock may
    // listen, so a socket left by a killed program is taken over. False when the socket
    // cannot be made.
    bool listen(const QString &name);
    // The window each call brings forward; calls before there is one are answered only.
    void setWindow(QWidget *window) { m_window = window; }

    // The second start's side: true when the running program answered within `timeoutMs`.
    static bool callRunning(const QString &name, int timeoutMs = 2000);

    // Shows a window normal, raised and active.
    static void bringForward(QWidget *window);

private:
    QLocalServer *m_server = nullptr;
    QPointer<QWidget> m_window;
};
