#pragma once

#include <QString>
#include <QThread>

#include <atomic>

namespace kbench {

class ProxyWorker;

// A TCP proxy on the loopback in a thread of its own, between the clients
// and the Firebird server, that holds every chunk for a set delay in each
// direction: the network of an administrator 10-50 ms from the server, made
// on one machine. It also counts turns: each time the server answers after
// the client has spoken is one round trip the protocol made, whatever the
// delay. The tests use it too, so it stands on Qt alone.
class DelayProxy
{
public:
    explicit DelayProxy(quint16 serverPort);
    ~DelayProxy();
    DelayProxy(const DelayProxy &) = delete;
    DelayProxy &operator=(const DelayProxy &) = delete;

    [[nodiscard]] quint16 port() const { return m_port; }
    // The connection string of the path on the server, through the proxy.
    [[nodiscard]] QString connectionString(const QString &path) const;

    // Between operations only: a chunk already held keeps its delay.
    void setOneWayDelay(int ms) { m_delayMs.store(ms); }
    [[nodiscard]] qint64 turns() const { return m_turns.load(); }

private:
    friend class ProxyWorker;

    QThread m_thread;
    ProxyWorker *m_worker = nullptr;
    quint16 m_port = 0;
    std::atomic<int> m_delayMs{0};
    std::atomic<qint64> m_turns{0};
};

} // namespace kbench
