#include "Proxy.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <memory>
#include <stdexcept>

namespace kbench {

namespace {

// One direction of one connection: the chunks read and not yet written, in
// order, each with the time it may go.
struct Lane
{
    QPointer<QTcpSocket> to;
    std::deque<std::pair<qint64, QByteArray>> held;
};

} // namespace

class ProxyWorker : public QObject
{
public:
    ProxyWorker(DelayProxy &proxy, quint16 serverPort) : m_proxy(proxy), m_serverPort(serverPort)
    {
        m_clock.start();
    }

    quint16 listen()
    {
        m_server = new QTcpServer(this);
        if (!m_server->listen(QHostAddress::LocalHost, 0))
            return 0;
        connect(m_server, &QTcpServer::newConnection, this, &ProxyWorker::accept);
        return m_server->serverPort();
    }

private:
    struct Pipe
    {
        Lane toServer;
        Lane toClient;
        bool clientSpokeLast = false;
    };

    void accept()
    {
        while (QTcpSocket *client = m_server->nextPendingConnection()) {
            auto *server = new QTcpSocket(this);
            client->setParent(this);
            for (QTcpSocket *socket : {client, server})
                socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            auto pipe = std::make_shared<Pipe>();
            pipe->toServer.to = server;
            pipe->toClient.to = client;
            connect(client, &QTcpSocket::readyRead, this, [this, pipe, client] {
                pipe->clientSpokeLast = true;
                hold(pipe, &Pipe::toServer, client->readAll());
            });
            connect(server, &QTcpSocket::readyRead, this, [this, pipe, server] {
                if (pipe->clientSpokeLast)
                    ++m_proxy.m_turns;
                pipe->clientSpokeLast = false;
                hold(pipe, &Pipe::toClient, server->readAll());
            });
            // Either end closing closes the other, once what it sent is out.
            for (auto [from, to] : {std::pair(client, server), std::pair(server, client)}) {
                connect(from, &QTcpSocket::disconnected, to, [to] { to->disconnectFromHost(); });
                connect(from, &QTcpSocket::disconnected, from, &QObject::deleteLater);
            }
            server->connectToHost(QHostAddress::LocalHost, m_serverPort);
        }
    }

    // The timer keeps the pipe alive until what it holds is out, however
    // soon its sockets go.
    void hold(const std::shared_ptr<Pipe> &pipe, Lane Pipe::*lane, const QByteArray &bytes)
    {
        if (bytes.isEmpty())
            return;
        const int delay = m_proxy.m_delayMs.load();
        Lane &queue = (*pipe).*lane;
        // Without a delay, and nothing held before it, a chunk goes at once:
        // the hop through the proxy then adds as little as it can.
        if (delay == 0 && queue.held.empty()) {
            if (queue.to)
                queue.to->write(bytes);
            return;
        }
        queue.held.emplace_back(m_clock.elapsed() + delay, bytes);
        QTimer::singleShot(delay, Qt::PreciseTimer, this,
                           [this, pipe, lane] { release((*pipe).*lane); });
    }

    void release(Lane &lane)
    {
        const qint64 now = m_clock.elapsed();
        while (!lane.held.empty() && lane.held.front().first <= now) {
            if (lane.to)
                lane.to->write(lane.held.front().second);
            lane.held.pop_front();
        }
    }

    DelayProxy &m_proxy;
    const quint16 m_serverPort;
    QTcpServer *m_server = nullptr;
    QElapsedTimer m_clock;
};

DelayProxy::DelayProxy(quint16 serverPort)
{
    m_worker = new ProxyWorker(*this, serverPort);
    m_worker->moveToThread(&m_thread);
    QObject::connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_worker, [this] { m_port = m_worker->listen(); }, Qt::BlockingQueuedConnection);
    if (m_port == 0)
        throw std::runtime_error("the delaying proxy could not listen on the loopback");
}

DelayProxy::~DelayProxy()
{
    m_thread.quit();
    m_thread.wait();
}

QString DelayProxy::connectionString(const QString &path) const
{
    // The address itself: "localhost" may be tried as ::1 first, where the
    // proxy does not listen.
    return QStringLiteral("127.0.0.1/%1:%2").arg(m_port).arg(path);
}

} // namespace kbench
