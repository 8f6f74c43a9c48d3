#include "diag/NetworkTestController.h"

#include <QCoreApplication>

NetworkTestController *NetworkTestController::instance()
{
    static NetworkTestController *controller = [] {
        auto *c = new NetworkTestController();
        // The worker may be inside a cycle: its thread ends before the application does.
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, c, &NetworkTestController::shutdown);
        return c;
    }();
    return controller;
}

NetworkTestController::NetworkTestController(NetworkProbes probes, QObject *parent)
    : QObject(parent)
    , m_worker(new NetworkTest(std::move(probes)))
{
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    // Queued both ways: the worker's thread out, the GUI thread back.
    connect(this, &NetworkTestController::startPingSignal, m_worker, &NetworkTest::startPing);
    connect(this, &NetworkTestController::stopPingSignal, m_worker, &NetworkTest::stopPing);
    connect(m_worker, &NetworkTest::callback_getDNS, this, &NetworkTestController::callback_getDNS);
    connect(m_worker, &NetworkTest::callback_gethttping, this, &NetworkTestController::callback_gethttping);
    m_thread.start(QThread::InheritPriority);
}

NetworkTestController::~NetworkTestController() { shutdown(); }

void NetworkTestController::shutdown()
{
    if (!m_thread.isRunning())
        return;
    m_thread.quit();
    m_thread.wait();
}

void NetworkTestController::callback_getDNS(QStringList dns)
{
    if (dns != m_dns)
        m_dns = dns;
}

void NetworkTestController::callback_gethttping(int ms) { m_httpPingMs = ms; }
