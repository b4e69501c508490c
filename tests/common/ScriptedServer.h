#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

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
        bool closeAfter = true;
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
                connect(s, &QTcpSocket::readyRead, this, [this, s, index] { onRead(s, index); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }

    QString port() const { return QString::number(m_server.serverPort()); }
    int connections = 0;
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
        } else if (a.closeAfter || a.closeInsteadOfStall) {
            s->disconnectFromHost();
        }
    }

    QTcpServer m_server;
    QList<Answer> m_script;
    QMap<QTcpSocket *, QByteArray> m_pending;
};

// A real HTTP server for ad images in a process of its own (Python's
// http.server), since the exchange waits for its images on this thread.
// Files put under files are served from /images/<name>; other names get 404.
class ImageServer
{
public:
    ImageServer()
    {
        QDir().mkpath(m_root.filePath(QStringLiteral("images")));
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(QStringLiteral("python3"),
            {QStringLiteral("-u"), QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("0"),
                QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--directory"), m_root.path()});
        m_process.waitForStarted();
        const bool up = QTest::qWaitFor(
            [this] {
                m_output += m_process.readAll();
                const qsizetype at = m_output.indexOf(" port ");
                if (at < 0)
                    return false;
                m_port = m_output.mid(at + 6).split(' ').value(0).toInt();
                return m_port > 0;
            },
            10000);
        if (!up)
            qWarning("python3 -m http.server did not start");
    }
    ~ImageServer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

    QString base() const { return QStringLiteral("127.0.0.1:%1/images").arg(m_port); }
    void add(const QByteArray &name, const QByteArray &bytes)
    {
        const QString path = m_root.filePath(QStringLiteral("images/") + QString::fromLatin1(name));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
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

private:
    QTemporaryDir m_root;
    QProcess m_process;
    QByteArray m_output;
    int m_port = 0;
};
