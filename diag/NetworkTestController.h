#pragma once

#include "diag/NetworkTest.h"

#include <QObject>
#include <QStringList>
#include <QThread>

// Owns the network test's thread and keeps, on the GUI thread, the last HTTP
// ping time and DNS list the worker reported (read by the page notifications
// and the system report).
class NetworkTestController : public QObject
{
    Q_OBJECT
public:
    static NetworkTestController *instance();
    explicit NetworkTestController(NetworkProbes probes = NetworkProbes::fromBuild(), QObject *parent = nullptr);
    // Quits and waits for the worker's thread.
    ~NetworkTestController() override;

    int httpPingMs() const { return m_httpPingMs; }
    QStringList dns() const { return m_dns; }
    // The worker, living on the controller's thread.
    NetworkTest *worker() const { return m_worker; }
    // Stops the thread; the process-wide controller does it when the application quits.
    void shutdown();

public slots:
    void callback_getDNS(QStringList dns);
    void callback_gethttping(int ms);

signals:
    void startPingSignal();
    void stopPingSignal();

private:
    QThread m_thread;
    NetworkTest *m_worker = nullptr;
    QStringList m_dns;
    int m_httpPingMs = 0;
};
