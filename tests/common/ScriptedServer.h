#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

// A real local ad server with a script: for each connection, in order, what to
// answer once the request is complete (its header and announced body). An
// answer is sent in blocks with a delay between them, and may close or stall.
class ScriptedServer : public QObject
{
public:
    struct Answer
    {
        QByteArray bytes;
        int blockSize = 0; // 0: one block
        int delayMs = 0; // between blocks
        qsizetype stopAfter = -1; // send only this many bytes, then stall (or close)
        bool closeInsteadOfStall = false;
        bool reset = false; // end with a reset (RST) instead of a close
    };

    explicit ScriptedServer(QList<Answer> script)
        : m_script(std::move(script))
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                const int index = connections++;
                ++open;
                connect(s, &QTcpSocket::readyRead, this, [this, s, index] { onRead(s, index); });
                connect(s, &QTcpSocket::disconnected, this, [this] { --open; });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    QString port() const { return QString::number(m_server.serverPort()); }
    int connections = 0;
    int open = 0; // connections still open on the server's side
    QList<QByteArray> requests;

    static QByteArray contentResponse(const QByteArray &content)
    {
        return QByteArray("HTTP/1.1 200 OK\r\nContent-Type: application/x-orvane\r\nContent-Length: ")
            + QByteArray::number(content.size()) + "\r\n\r\n" + content;
    }

private:
    void onRead(QTcpSocket *s, int index)
    {
        m_pending[s] += s->readAll();
        const QByteArray &r = m_pending[s];
        const qsizetype end = r.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        qsizetype body = 0;
        const qsizetype at = r.indexOf("Content-Length: ");
        if (at >= 0 && at < end)
            body = r.mid(at + 16, r.indexOf("\r\n", at) - at - 16).toLongLong() + 2;
        if (r.size() < end + 4 + body)
            return;
        requests.append(r);
        m_pending.remove(s);
        if (index < m_script.size())
            send(s, m_script[index], 0);
    }

    void send(QPointer<QTcpSocket> s, const Answer &a, qsizetype from)
    {
        if (!s)
            return;
        const qsizetype limit = a.stopAfter >= 0 ? a.stopAfter : a.bytes.size();
        const qsizetype n = a.blockSize > 0 ? a.blockSize : limit;
        s->write(a.bytes.mid(from, std::min(n, limit - from)));
        s->flush();
        const qsizetype next = from + n;
        if (next < limit) {
            QTimer::singleShot(a.delayMs, this, [this, s, a, next] { send(s, a, next); });
            return;
        }
        if (a.stopAfter >= 0 && !a.closeInsteadOfStall)
            return; // stalls
        if (a.reset) {
            const linger now {1, 0};
            ::setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
            s->abort();
        } else {
            s->disconnectFromHost();
        }
    }

    QTcpServer m_server;
    QList<Answer> m_script;
    QMap<QTcpSocket *, QByteArray> m_pending;
};

// A real HTTP/1.1 server for ad images on this thread's event loop, with
// kept-alive connections. Files put with add() are served from
// /images/<name>; other names get a 404 text page. Each answer can be held
// back (delayMs, or per name); every request path is logged.
class ImageServer : public QObject
{
public:
    ImageServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection()) {
                ++connections;
                ++open;
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onRead(s); });
                connect(s, &QTcpSocket::disconnected, this, [this] { --open; });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    QString base() const { return QStringLiteral("127.0.0.1:%1/images").arg(m_server.serverPort()); }
    void add(const QByteArray &name, const QByteArray &bytes, int delay = -1)
    {
        m_files.insert("/images/" + name, {bytes, delay});
    }
    static QByteArray png(int w = 30, int h = 14, QColor color = Qt::darkCyan)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(color);
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return out;
    }

    int delayMs = 0;
    int connections = 0;
    int open = 0; // connections still open on the server's side
    QList<QByteArray> requests; // paths, in the order asked

private:
    struct File
    {
        QByteArray bytes;
        int delay = -1;
    };

    void onRead(QTcpSocket *s)
    {
        QByteArray &pending = m_pending[s];
        pending += s->readAll();
        qsizetype end;
        while ((end = pending.indexOf("\r\n\r\n")) >= 0) {
            const QByteArray path = pending.left(pending.indexOf("\r\n")).split(' ').value(1);
            pending.remove(0, end + 4);
            requests.append(path);
            const auto found = m_files.constFind(path);
            const QByteArray answer = found != m_files.cend()
                ? "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: "
                    + QByteArray::number(found->bytes.size()) + "\r\n\r\n" + found->bytes
                : QByteArray("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 22\r\n\r\n"
                             "<html>Not found</html>");
            const int delay = found != m_files.cend() && found->delay >= 0 ? found->delay : delayMs;
            QTimer::singleShot(delay, s, [s, answer] { s->write(answer); });
        }
    }

    QTcpServer m_server;
    QMap<QByteArray, File> m_files;
    QMap<QTcpSocket *, QByteArray> m_pending;
};
