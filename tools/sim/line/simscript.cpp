// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simscript.h"

#include "simframe.h"

#include <chrono>

void SimScript::setResponder(Responder responder)
{
    std::lock_guard<std::mutex> lock(mutex);
    this->responder = std::move(responder);
}

void SimScript::setEngineAnswers(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    engineAnswers = on;
}

void SimScript::setOpeningReadsAnswered(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    openingReadsAnswered = on;
}

int SimScript::openingReads() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return opened;
}

void SimScript::setAnswerDelay(int ms)
{
    std::lock_guard<std::mutex> lock(mutex);
    answerDelayMs = ms;
}

void SimScript::setSplit(int firstBytes, int pauseMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    splitFirst = firstBytes;
    splitPauseMs = pauseMs;
}

void SimScript::setDup(int pauseMs)
{
    std::lock_guard<std::mutex> lock(mutex);
    dupPauseMs = pauseMs;
}

QList<QByteArray> SimScript::requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

void SimScript::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex);
    received.clear();
    stray.clear();
}

QByteArray SimScript::strayBytes() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return stray;
}

template <typename Done>
bool SimScript::waitFor(Done done, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

bool SimScript::waitForRequests(int n, int timeoutMs) const
{
    return waitFor([&] { return received.size() >= n; }, timeoutMs);
}

bool SimScript::waitForAnswers(int n, int timeoutMs) const
{
    return waitFor([&] { return answers >= n; }, timeoutMs);
}

bool SimScript::waitForConnections(int n, int timeoutMs) const
{
    return waitFor([&] { return connections >= n; }, timeoutMs);
}

SimReply SimScript::reply(const QByteArray &frame, const std::function<SimReply()> &engine)
{
    Responder answerer;
    SimReply reply;
    bool fromEngine = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        const SimRequest request = SimFrame::parseRequest(frame);
        const bool opening = openingReadsAnswered && (request.isBitRead() || request.isRegisterRead())
            && request.start == 0 && request.count == 13;
        if (opening) {
            ++opened;
            changed.notify_all();
        }
        if (opening)
            fromEngine = true;
        else
            received.append(frame);
        changed.notify_all();
        answerer = responder;
        reply.delayMs = answerDelayMs;
        reply.splitAt = splitFirst;
        reply.splitPauseMs = splitPauseMs;
        reply.dupPauseMs = dupPauseMs;
        fromEngine = fromEngine || (!answerer && engineAnswers);
    }
    // Outside the lock: the responder may ask the script for its log.
    if (fromEngine)
        return engine();
    if (answerer)
        reply.bytes = answerer(frame);
    reply.action = reply.bytes.isEmpty() ? SimReply::Silent : SimReply::Answer;
    return reply;
}

void SimScript::noteConnection()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++connections;
    changed.notify_all();
}

void SimScript::noteAnswerSent()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++answers;
    changed.notify_all();
}

void SimScript::noteNoise(const QByteArray &bytes)
{
    std::lock_guard<std::mutex> lock(mutex);
    stray += bytes;
}
