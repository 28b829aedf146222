// One running copy per program directory. The first copy holds an exclusive lock on a
// file in the program directory and listens on a local socket; a later copy finds the
// lock taken, asks the first copy through the socket to come forward (or to open a fax on
// a file, or to look at its print inbox), and exits.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <filesystem>
#include <memory>

class QLocalServer;
class QWidget;

namespace app {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kLockFileName = "parvane.lock";

    explicit SingleInstance(std::filesystem::path programDir, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock; true when this is the first copy. The lock lasts as long as this object.
    bool acquire();

    // First copy: listen for later copies. False when the socket cannot be set up (the
    // lock still keeps later copies out).
    bool listen();

    // Later copy: asks the first copy to come forward and waits for its answer. False
    // when no answer came within `timeout` (the first copy may still be starting).
    bool activateFirst(std::chrono::milliseconds timeout);
    // Later copy: asks the first copy to open a new fax with the pages of `file` (made
    // absolute here, as the first copy runs elsewhere).
    bool handFaxFile(const std::filesystem::path& file, std::chrono::milliseconds timeout);
    // Later copy: asks the first copy to take the jobs waiting in its print inbox.
    bool handInboxCheck(std::chrono::milliseconds timeout);

    // The socket name shared by every copy that uses this program directory.
    QString serverName() const;

signals:
    // A later copy asked this one to come forward.
    void activationRequested();
    // A later copy was started with a file to fax.
    void faxFileRequested(const QString& file);
    // A later copy was started to have the print inbox looked at.
    void inboxCheckRequested();

private:
    void onNewConnection();
    bool request(const QByteArray& line, std::chrono::milliseconds timeout);

    std::filesystem::path programDir_;
    int lockFd_ = -1;
    std::unique_ptr<QLocalServer> server_;
};

// Restores `window` when it is minimised, otherwise raises it and gives it the focus.
void bringToFront(QWidget* window);

} // namespace app
