// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LINKEXCHANGE_H
#define LINKEXCHANGE_H

#include "LinkClock.h"
#include "LinkTransport.h"
#include "LinkVerdict.h"
#include "NorvoFrame.h"
#include "OwedAnswers.h"

#include <QtCore/QByteArray>

// One request, one answer, over whichever link is current; and the account
// of every frame that arrives. The exchange owns the receive buffer and the
// ledger of owed answers and talks only to a transport and a clock.
//
// Every frame is one of: the answer to the request in flight, an owed
// answer (dropped), or a sign that the station is out of step (a frame
// nothing owes). Out of step, a synchronising read goes first, and the
// request is not sent unless that read is answered.
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

    explicit LinkExchange(const LinkClock &clock) : clock_(clock) {}

    // The one link that feeds the exchange (null: none). A frame of the
    // old link still arriving goes; what is owed stays owed.
    void setLink(LinkTransport *link);
    LinkTransport *link() const { return link_; }
    // The current link was opened anew: owed answers may come over it, or not.
    void linkOpened();

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

    QByteArray recvBuffer; // bytes that may still become a frame
    OwedAnswers owed;

private:
    struct InFlight
    {
        const NorvoRequest *request;
        AnswerShape shape;
        bool synchronising = false;
        bool done = false;
        bool settles = false;   // the answer was the request's own: older ones are settled
        bool untrusted = false; // a frame that fits came, but may be stale
        bool ownedDropped = false; // only owed answers came so far
        bool stray = false;        // another request's answer came (its verdict is kept)
        Result result;
        QByteArray noise; // bytes outside frames, kept for the log
    };

    Result run(const NorvoRequest &request, const AnswerShape &shape, int timeoutMs,
               bool synchronising);
    void keepNoise(const char *bytes, int size);
    void account(const char *frame, int size);
    void accountInFlight(const char *bytes, int size);
    void finish(InFlight &inFlight);
    bool linkGone(const LinkTransport *link, int openings) const;

    const LinkClock &clock_;
    LinkTransport *link_ = nullptr;
    InFlight *inFlight_ = nullptr;
    int openings_ = 0; // links opened so far
    bool busy_ = false; // a command is under way
};

#endif // LINKEXCHANGE_H
