// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMSCRIPT_H
#define SIMSCRIPT_H

#include "simline.h"

#include <QtCore/QByteArray>
#include <QtCore/QList>

#include <condition_variable>
#include <functional>
#include <mutex>

// The scripted mode of the simulator, for tests that play the PLC's part
// themselves: a responder given by the test answers each request frame with
// whatever bytes it likes, late, in pieces or not at all, and every request,
// answer, connection and stray byte is counted so the test can wait for it.
// SimServer serves the script once given it (SimServer::setScript, or
// SimScriptedPlc, which does both).
//
// The responder runs on the serving thread: capture by value, or guard what
// it shares with the test. All member functions are thread-safe; the last
// four are the server's hooks.
class SimScript
{
public:
    using Responder = std::function<QByteArray(const QByteArray &request)>;

    // Empty bytes from the responder mean no answer. Without a responder the
    // PLC stays silent, or the engine answers if engine answers are on.
    void setResponder(Responder responder);
    // The simulated PLC, with its memory, faults and log, answers every
    // request while no responder is set.
    void setEngineAnswers(bool on);

    // A host opens each link with a synchronising read of a count nobody
    // uses (13 elements from D0 or X0). While this is on (the default) the
    // simulated PLC answers such reads itself and they are counted apart,
    // so that a script sees the host's own requests only.
    void setOpeningReadsAnswered(bool on);
    int openingReads() const;
    // Apply to the responder's answers from the next request on.
    void setAnswerDelay(int ms);
    // firstBytes <= 0 sends answers whole.
    void setSplit(int firstBytes, int pauseMs);
    // Each answer twice, pauseMs apart (two answers sent); pauseMs < 0
    // sends it once.
    void setDup(int pauseMs);

    // Requests received so far, each a whole frame as it arrived.
    QList<QByteArray> requests() const;
    void clearRequests();
    // Bytes received that were not part of any request frame.
    QByteArray strayBytes() const;

    // Wait (on the caller's thread, without processing its events) until
    // the counts reach at least n; false on time-out. A pty counts as one
    // connection from the start.
    bool waitForRequests(int n, int timeoutMs) const;
    bool waitForAnswers(int n, int timeoutMs) const;
    bool waitForConnections(int n, int timeoutMs) const;

    // What to do with a request frame; `engine` asks the simulated PLC.
    SimReply reply(const QByteArray &frame, const std::function<SimReply()> &engine);
    void noteConnection();
    void noteAnswerSent();
    void noteNoise(const QByteArray &bytes);

private:
    template <typename Done>
    bool waitFor(Done done, int timeoutMs) const;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    Responder responder;
    bool engineAnswers = false;
    bool openingReadsAnswered = true;
    int opened = 0;
    int answerDelayMs = 0;
    int splitFirst = 0;
    int splitPauseMs = 0;
    int dupPauseMs = -1;
    QList<QByteArray> received;
    QByteArray stray;
    int answers = 0;
    int connections = 0;
};

#endif
