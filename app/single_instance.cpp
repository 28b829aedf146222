#include "single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>
#include <cstring>
#include <functional>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace app {

namespace {
// One request line per connection, answered with kActivateReply when understood. A copy
// that only knows "activate" drops the other requests unanswered.
constexpr char kActivateRequest[] = "activate\n";
constexpr char kFaxFileRequest[] = "fax-file "; // + the path, percent-encoded UTF-8
constexpr char kInboxRequest[] = "fax-inbox\n";
constexpr char kActivateReply[] = "ok\n";
// Paths are short; a line without an end within this many bytes is not a request.
constexpr qint64 kMaxRequestBytes = 64 * 1024;
} // namespace

SingleInstance::SingleInstance(std::filesystem::path programDir, QObject* parent)
    : QObject(parent), programDir_(std::move(programDir)) {}

SingleInstance::~SingleInstance() {
    if (server_)
        server_->close();
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

QString SingleInstance::serverName() const {
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(programDir_, ec);
    if (ec)
        canonical = programDir_;
    // Socket paths are short; the directory goes in as a hash, the user id keeps users apart.
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(canonical.string()),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QStringLiteral("parvane-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

bool SingleInstance::acquire() {
    if (lockFd_ >= 0)
        return true;
    const auto path = programDir_ / kLockFileName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return true; // an unwritable directory fails later, with the tables' own message
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    lockFd_ = fd;
    return true;
}

bool SingleInstance::listen() {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock, so a socket left behind by a crashed copy is stale.
    QLocalServer::removeServer(serverName());
    if (!server_->listen(serverName())) {
        server_.reset();
        return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

void SingleInstance::onNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequestBytes)
                    socket->disconnectFromServer();
                return;
            }
            const QByteArray line = socket->readLine(kMaxRequestBytes);
            std::function<void()> act;
            if (line == kActivateRequest)
                act = [this] { emit activationRequested(); };
            else if (line == kInboxRequest)
                act = [this] { emit inboxCheckRequested(); };
            else if (line.startsWith(kFaxFileRequest) && line.endsWith('\n')) {
                const QString file = QString::fromUtf8(QByteArray::fromPercentEncoding(
                    line.mid(qsizetype(std::strlen(kFaxFileRequest))).chopped(1)));
                if (!file.isEmpty())
                    act = [this, file] { emit faxFileRequested(file); };
            }
            if (act) {
                socket->write(kActivateReply);
                socket->flush();
                // Later: what the request starts may hold this copy in a modal editor.
                QMetaObject::invokeMethod(this, std::move(act), Qt::QueuedConnection);
            }
            socket->disconnectFromServer();
        });
    }
}

bool SingleInstance::activateFirst(std::chrono::milliseconds timeout) {
    return request(kActivateRequest, timeout);
}

bool SingleInstance::handFaxFile(const std::filesystem::path& file, std::chrono::milliseconds timeout) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    if (ec)
        absolute = file;
    return request(kFaxFileRequest + QByteArray::fromStdString(absolute.string()).toPercentEncoding("/") + '\n',
                   timeout);
}

bool SingleInstance::handInboxCheck(std::chrono::milliseconds timeout) {
    return request(kInboxRequest, timeout);
}

bool SingleInstance::request(const QByteArray& line, std::chrono::milliseconds timeout) {
    QDeadlineTimer deadline(timeout);
    // The first copy may hold the lock but not listen yet: keep trying until the deadline.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(serverName());
        if (socket.waitForConnected(int(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(line);
            socket.flush();
            while (!socket.canReadLine() &&
                   socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
                ;
            if (socket.canReadLine() && socket.readLine() == kActivateReply)
                return true;
        }
        QThread::msleep(50);
    }
    return false;
}

void bringToFront(QWidget* window) {
    if (!window)
        return;
    if (window->isMinimized()) {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->show();
    } else {
        window->show();
        window->raise();
    }
    window->activateWindow();
}

} // namespace app
