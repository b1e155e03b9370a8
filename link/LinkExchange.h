// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LINKEXCHANGE_H
#define LINKEXCHANGE_H

#include "AnswerWait.h"
#include "FrameJudge.h"
#include "LinkClock.h"
#include "LinkTransport.h"
#include "LinkVerdict.h"
#include "NorvoFrame.h"
#include "OwedAnswers.h"
#include "RepeatGuard.h"

#include <QtCore/QByteArray>
#include <QtCore/QVector>

#include <map>

// One request, one answer, over whichever link is current; and the account
// of every frame that arrives. The exchange owns the receive buffer and,
// for each path (a TCP address and port, a serial port), the ledger of owed
// answers, the wait for answers and the repeat guard. It talks only to a
// transport and a clock; what a frame is, judgeFrame() decides.
//
// Every frame is one of: the answer to the request in flight, an owed
// answer (dropped), a copy (dropped), or a sign that the station is out of
// step (a frame nothing owes). Out of step, a synchronising read goes
// first, and the request is not sent unless that read is answered. A link
// opened anew starts out of step: its history is not this driver's to see.
class LinkExchange final : public LinkTransport::Receiver
{
public:
    // Watches the requests and answers of a command, for its log lines.
    class Listener
    {
    public:
        virtual void sending(const NorvoRequest &request, bool synchronising) = 0;
        virtual void answered(const NorvoRequest &request, const QByteArray &answer,
                              bool synchronising) = 0;

    protected:
        ~Listener() = default;
    };

    struct Result
    {
        LinkVerdict verdict;
        QByteArray answer; // the frame taken, or what came instead (for the log)
    };

    // The largest answer (255 registers) is 1029 bytes; what arrives
    // beyond this without a frame end is dropped, and counts are lost.
    static constexpr int maxBuffered = 4096;
    // Paths remembered; the one used longest ago goes first.
    static constexpr int maxPaths = 8;

    explicit LinkExchange(const LinkClock &clock);

    // The one link that feeds the exchange (null: none). A frame of the
    // old link still arriving goes; what is owed stays owed.
    void setLink(LinkTransport *link);
    LinkTransport *link() const { return link_; }
    // The current link was opened anew on path: anyone's answers may come
    // over it. waitMs is the host's setting for the wait (0: learn it).
    void linkOpened(const QByteArray &path = QByteArray(), int waitMs = 0);

    bool isRunning() const { return inFlight_ != nullptr; }

    // A command: what arrived since the last one is accounted for, a
    // synchronising read goes first where needed, then the request.
    Result command(const NorvoRequest &request, Listener *listener = nullptr);
    // Takes in and accounts for what arrived since the last exchange.
    void takeStaleInput();
    // Sends the request and waits for its answer; timeoutMs after the
    // first bytes. Nothing else (no synchronising).
    Result exchange(const NorvoRequest &request, int timeoutMs);
    // The time-out of a command's exchange on the current link.
    int commandTimeoutMs(const NorvoRequest &request) const;

    void receive(LinkTransport *from, const char *bytes, int size) override;

    // The current path's state, for tests and diagnostics.
    const OwedAnswers &owed() const { return path_->owed; }
    int answerWaitMs() const { return path_->wait.ms(); }
    bool guardsRepeats() const { return path_->guard.isOn(); }
    int buffered() const { return recvBuffer_.size(); }

private:
    // A request left without its answer: when that answer comes, how late.
    struct Unanswered
    {
        AnswerShape shape;
        qint64 sentAt;
        int waitMs;
    };
    struct Path
    {
        OwedAnswers owed;
        AnswerWait wait;
        RepeatGuard guard;
        QVector<Unanswered> unanswered; // oldest first, bounded
        quint64 used = 0;
    };
    struct InFlight
    {
        WaitingRequest waiting;
        Path *path = nullptr; // where the request went
        qint64 sentAt = 0;
        int waitMs = 0;       // the wait it was given
        bool done = false;
        bool settles = false;   // the answer was the request's own: older ones are settled
        bool untrusted = false; // a frame that fits came, but may be stale
        bool onlyOwed = false;  // only others' answers came so far
        bool stray = false;     // another request's answer came (its verdict is kept)
        bool copies = false;    // the line repeated a frame meanwhile
        qint64 lastArrival = 0;
        Result result;
        QByteArray noise; // bytes outside frames, kept for the log
    };

    Result run(const NorvoRequest &request, const AnswerShape &shape, int timeoutMs,
               bool synchronising);
    // Waits for the first answer bytes (as long as only others' answers
    // come), then looks until the time-out; false when the link went.
    bool awaitAnswer(InFlight &in, LinkTransport *link, int openings, int timeoutMs);
    // On a line that repeats: the answer is used once the line stays quiet.
    bool holdForCopy(InFlight &in, LinkTransport *link, int openings);
    Result command(const NorvoRequest &request, const AnswerShape &shape, Listener *listener,
                   bool synchronising);
    void keepNoise(const char *bytes, int size);
    void account(const char *frame, int size);
    void take(InFlight &in, const FrameJudgement &judgement, const char *frame, int size);
    void dropOwed(const QByteArray &frame);
    // An owed answer came: it settles its request (and older ones of its
    // station) and tells how late the line answers.
    void settleOwed(Path &path, const QByteArray &frame, bool taken);
    void dropUnowed(const QByteArray &frame, const FrameJudgement &judgement);
    void finish(InFlight &in);
    void tellUntoldStrays();
    bool linkGone(const LinkTransport *link, int openings) const;
    void loseAll();

    const LinkClock &clock_;
    LinkTransport *link_ = nullptr;
    std::map<QByteArray, Path> paths_;
    Path *path_ = nullptr;
    quint64 pathUses_ = 0;
    QByteArray recvBuffer_; // bytes that may still become a frame
    InFlight *inFlight_ = nullptr;
    int openings_ = 0; // links opened so far
    int straysTold_ = 0;   // unowed frames told since the last exchange ended
    int straysUntold_ = 0; // and those only counted
    bool busy_ = false; // a command is under way
};

#endif // LINKEXCHANGE_H
