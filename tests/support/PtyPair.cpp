#include "PtyPair.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::~PtyPair()
{
    close();
}

bool PtyPair::open()
{
    close();
    char name[256] = {};
    if (::openpty(&masterFd_, &slaveFd_, name, nullptr, nullptr) != 0) {
        masterFd_ = slaveFd_ = -1;
        return false;
    }
    // Raw: no echo of the driver's requests, no line editing, no CR/LF mangling.
    termios tio {};
    if (::tcgetattr(slaveFd_, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL;
        ::tcsetattr(slaveFd_, TCSANOW, &tio);
    }
    ::fcntl(masterFd_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slaveFd_, F_SETFD, FD_CLOEXEC);
    slavePath_ = QString::fromLocal8Bit(name);
    return true;
}

void PtyPair::close()
{
    if (masterFd_ >= 0)
        ::close(masterFd_);
    if (slaveFd_ >= 0)
        ::close(slaveFd_);
    masterFd_ = slaveFd_ = -1;
    slavePath_.clear();
}

bool PtyPair::writeMaster(const QByteArray &bytes)
{
    int done = 0;
    while (masterFd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(masterFd_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return masterFd_ >= 0;
}

QByteArray PtyPair::readMaster(int timeoutMs)
{
    QByteArray got;
    if (masterFd_ < 0)
        return got;
    pollfd p { masterFd_, POLLIN, 0 };
    if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN))
        return got;
    char buf[4096];
    const ssize_t n = ::read(masterFd_, buf, sizeof buf);
    if (n > 0)
        got.append(buf, int(n));
    return got;
}
