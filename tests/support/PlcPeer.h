#ifndef NORVO_TESTS_PLCPEER_H
#define NORVO_TESTS_PLCPEER_H

#include "PtyPair.h"

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A scripted PLC for tests. It runs in its own thread, so the driver's
// blocking waits on the test's thread never stall it, and serves one client
// at a time either on loopback TCP or on the master end of a pty pair.
//
// Incoming bytes are split into request frames (0x02 ... 0x03; bytes before
// a start byte are dropped). Every request is logged, then handed to the
// responder, whose result is sent back; an empty result means the PLC stays
// silent. The responder runs on the peer's thread: capture by value, or
// guard what it shares with the test.
//
//     PlcPeer plc;
//     plc.setResponder([](const QByteArray &request) {
//         const auto r = PlcFrame::parseRequest(request);
//         return PlcFrame::answerTo(r, "12AB0005");
//     });
//     QVERIFY(plc.listenTcp());          // or plc.openPty()
//     ... connect the driver to 127.0.0.1:plc.tcpPort() (or plc.ptyPath())
//     QCOMPARE(plc.requests().size(), 1);
//
// Fault knobs (apply to the answers sent after they are set):
//   setAnswerDelay(ms)           wait before answering;
//   setSplit(firstBytes, pause)  send the first bytes, pause, then the rest;
//   dropConnection()             close the TCP client (no effect on a pty);
//   sendRaw(bytes)               push unsolicited bytes to the client.
//
// All member functions are thread-safe. Use either listenTcp() or openPty(),
// once per peer. A new TCP client replaces the one being served.
class PlcPeer
{
public:
    using Responder = std::function<QByteArray(const QByteArray &request)>;

    PlcPeer();
    ~PlcPeer();
    PlcPeer(const PlcPeer &) = delete;
    PlcPeer &operator=(const PlcPeer &) = delete;

    // Listens on 127.0.0.1 on a free port and starts serving.
    bool listenTcp();
    quint16 tcpPort() const { return port_; }

    // Opens a pty pair and starts serving its master end; the driver opens
    // ptyPath() as its serial device.
    bool openPty();
    QString ptyPath() const { return pty_.slavePath(); }
    // The pair itself, e.g. to read the line settings with tcgetattr.
    const PtyPair &pty() const { return pty_; }

    void setResponder(Responder responder);
    void setAnswerDelay(int ms);
    // firstBytes <= 0 sends answers whole.
    void setSplit(int firstBytes, int pauseMs);
    void dropConnection();
    void sendRaw(const QByteArray &bytes);

    // Requests received so far, each a whole frame as it arrived.
    QList<QByteArray> requests() const;
    void clearRequests();
    // Bytes received that were not part of any request frame.
    QByteArray strayBytes() const;

    // Waits (on the caller's thread, without processing its events) until
    // the counts reach at least n; false on time-out.
    bool waitForRequests(int n, int timeoutMs) const;
    bool waitForAnswers(int n, int timeoutMs) const;
    bool waitForConnections(int n, int timeoutMs) const;
    int answerCount() const;
    int connectionCount() const;

private:
    void start();
    void run();
    void handleInput(const char *bytes, int size);
    void deliver(const QByteArray &answer);
    void writeAll(const QByteArray &bytes);
    void closeClient();
    void pause(int ms);
    void wake();
    template<typename Pred>
    bool waitFor(Pred done, int timeoutMs) const;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::thread thread_;
    std::atomic<bool> stop_ { false };
    int wakeFds_[2] = { -1, -1 };

    // Owned by the peer's thread once it runs.
    int listenFd_ = -1;
    int clientFd_ = -1;
    bool onPty_ = false;
    QByteArray pending_;

    PtyPair pty_;
    quint16 port_ = 0;

    // Guarded by mutex_.
    Responder responder_;
    int answerDelayMs_ = 0;
    int splitFirst_ = 0;
    int splitPauseMs_ = 0;
    bool dropRequested_ = false;
    QByteArray rawToSend_;
    QList<QByteArray> requests_;
    QByteArray stray_;
    int answers_ = 0;
    int connections_ = 0;
};

#endif
