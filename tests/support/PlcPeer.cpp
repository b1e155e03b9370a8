#include "PlcPeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

PlcPeer::PlcPeer()
{
    if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0)
        wakeFds_[0] = wakeFds_[1] = -1;
}

PlcPeer::~PlcPeer()
{
    stop_ = true;
    wake();
    if (thread_.joinable())
        thread_.join();
    if (!onPty_ && clientFd_ >= 0)
        ::close(clientFd_);
    if (listenFd_ >= 0)
        ::close(listenFd_);
    for (int fd : wakeFds_) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool PlcPeer::listenTcp()
{
    if (thread_.joinable() || wakeFds_[0] < 0)
        return false;
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        return false;
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || ::listen(listenFd_, 4) != 0
        || ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return false;
    }
    port_ = ntohs(addr.sin_port);
    start();
    return true;
}

bool PlcPeer::openPty()
{
    if (thread_.joinable() || wakeFds_[0] < 0 || !pty_.open())
        return false;
    onPty_ = true;
    clientFd_ = pty_.masterFd();
    connections_ = 1;
    start();
    return true;
}

void PlcPeer::start()
{
    thread_ = std::thread([this] { run(); });
}

void PlcPeer::setResponder(Responder responder)
{
    std::lock_guard<std::mutex> lock(mutex_);
    responder_ = std::move(responder);
}

void PlcPeer::setAnswerDelay(int ms)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answerDelayMs_ = ms;
}

void PlcPeer::setSplit(int firstBytes, int pauseMs)
{
    std::lock_guard<std::mutex> lock(mutex_);
    splitFirst_ = firstBytes;
    splitPauseMs_ = pauseMs;
}

void PlcPeer::dropConnection()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dropRequested_ = true;
    }
    wake();
}

void PlcPeer::sendRaw(const QByteArray &bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        rawToSend_ += bytes;
    }
    wake();
}

QList<QByteArray> PlcPeer::requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void PlcPeer::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    stray_.clear();
}

QByteArray PlcPeer::strayBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return stray_;
}

template<typename Pred>
bool PlcPeer::waitFor(Pred done, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

bool PlcPeer::waitForRequests(int n, int timeoutMs) const
{
    return waitFor([&] { return requests_.size() >= n; }, timeoutMs);
}

bool PlcPeer::waitForAnswers(int n, int timeoutMs) const
{
    return waitFor([&] { return answers_ >= n; }, timeoutMs);
}

bool PlcPeer::waitForConnections(int n, int timeoutMs) const
{
    return waitFor([&] { return connections_ >= n; }, timeoutMs);
}

int PlcPeer::answerCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_;
}

int PlcPeer::connectionCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

void PlcPeer::wake()
{
    if (wakeFds_[1] >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFds_[1], &c, 1);
    }
}

void PlcPeer::run()
{
    while (!stop_) {
        pollfd fds[3];
        int n = 0;
        fds[n++] = { wakeFds_[0], POLLIN, 0 };
        const int listenAt = listenFd_ >= 0 ? n : -1;
        if (listenAt >= 0)
            fds[n++] = { listenFd_, POLLIN, 0 };
        const int clientAt = clientFd_ >= 0 ? n : -1;
        if (clientAt >= 0)
            fds[n++] = { clientFd_, POLLIN, 0 };

        if (::poll(fds, nfds_t(n), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents) {
            char sink[64];
            while (::read(wakeFds_[0], sink, sizeof sink) > 0) {
            }
        }
        if (stop_)
            break;

        bool drop = false;
        QByteArray raw;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            drop = dropRequested_;
            dropRequested_ = false;
            raw.swap(rawToSend_);
        }
        if (drop && !onPty_)
            closeClient();
        if (!raw.isEmpty())
            writeAll(raw);

        if (listenAt >= 0 && (fds[listenAt].revents & POLLIN)) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                closeClient();
                clientFd_ = fd;
                const int on = 1;
                // Each piece of a split answer must leave as its own segment.
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                std::lock_guard<std::mutex> lock(mutex_);
                ++connections_;
                changed_.notify_all();
            }
        }

        // The client may have been replaced or dropped above.
        if (clientAt >= 0 && clientFd_ == fds[clientAt].fd && fds[clientAt].revents) {
            char buf[4096];
            const ssize_t got = ::read(clientFd_, buf, sizeof buf);
            if (got > 0) {
                handleInput(buf, int(got));
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                if (onPty_)
                    pause(5); // no slave reader right now; try again shortly
                else
                    closeClient();
            }
        }
    }
}

void PlcPeer::handleInput(const char *bytes, int size)
{
    pending_.append(bytes, size);
    for (;;) {
        const int start = pending_.indexOf(char(0x02));
        if (start < 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            stray_ += pending_;
            pending_.clear();
            return;
        }
        if (start > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            stray_ += pending_.left(start);
            pending_.remove(0, start);
        }
        const int end = pending_.indexOf(char(0x03), 1);
        if (end < 0)
            return;
        const QByteArray request = pending_.left(end + 1);
        pending_.remove(0, end + 1);

        Responder responder;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.append(request);
            responder = responder_;
            changed_.notify_all();
        }
        const QByteArray answer = responder ? responder(request) : QByteArray();
        if (!answer.isEmpty())
            deliver(answer);
    }
}

void PlcPeer::deliver(const QByteArray &answer)
{
    int delay, first, splitPause;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        delay = answerDelayMs_;
        first = splitFirst_;
        splitPause = splitPauseMs_;
    }
    pause(delay);
    if (first > 0 && first < answer.size()) {
        writeAll(answer.left(first));
        pause(splitPause);
        writeAll(answer.mid(first));
    } else {
        writeAll(answer);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    ++answers_;
    changed_.notify_all();
}

void PlcPeer::writeAll(const QByteArray &bytes)
{
    int done = 0;
    while (clientFd_ >= 0 && done < bytes.size()) {
        const char *from = bytes.constData() + done;
        const size_t left = size_t(bytes.size() - done);
        const ssize_t n = onPty_ ? ::write(clientFd_, from, left)
                                 : ::send(clientFd_, from, left, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += int(n);
    }
}

void PlcPeer::closeClient()
{
    if (onPty_ || clientFd_ < 0)
        return;
    ::shutdown(clientFd_, SHUT_RDWR);
    ::close(clientFd_);
    clientFd_ = -1;
    pending_.clear();
}

void PlcPeer::pause(int ms)
{
    // Short slices, so that destruction is never held up by a long delay.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
