#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <cstddef>
#include <map>
#include <memory>

class QSocketNotifier;

// A Unix stream socket at a path, private to the user, that hands on each line its clients send.
// It is built on the socket calls themselves rather than on a networking module: this is all the
// single-instance guard needs, and the module would bring a network stack and its libraries into
// a program that stays resident all day.
class LocalLineSocket : public QObject {
    Q_OBJECT
public:
    // Longest line taken; a client that sends more without a newline is disconnected.
    static constexpr qsizetype maxLine = 256;
    // Clients held at once; one more and the longest held goes. A burst of connections then
    // costs nothing lasting, and a client that never says anything cannot keep others out.
    static constexpr std::size_t maxClients = 8;

    explicit LocalLineSocket(QObject* parent = nullptr);
    ~LocalLineSocket() override;

    // Replaces whatever file is at the path. Only the owner can connect.
    bool listen(const QString& path);
    void close();

    // Connects to the socket at the path and sends the bytes, retrying while no one listens there
    // yet, until the deadline.
    static bool send(const QString& path, const QByteArray& bytes, QDeadlineTimer deadline);

signals:
    // One line, without its newline.
    void lineReceived(const QByteArray& line);

private:
    struct Client {
        std::unique_ptr<QSocketNotifier> notifier;
        QByteArray pending;
        quint64 order = 0;
    };

    void acceptClients();
    void readClient(int fd);
    enum class Drop { now, fromItsSignal };
    void dropClient(int fd, Drop when);

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::map<int, Client> m_clients;
    quint64 m_accepted = 0;
};
