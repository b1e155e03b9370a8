// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LINKTRANSPORT_H
#define LINKTRANSPORT_H

#include <QtCore/QByteArray>

// One kind of link to the PLC (TCP socket or serial line), as the exchange
// sees it. A transport owns the handling of its device and hands over what
// arrives on its own link, and nothing else, to its receiver: that is the
// one way bytes reach the exchange.
class LinkTransport
{
public:
    class Receiver
    {
    public:
        virtual void receive(LinkTransport *from, const char *bytes, int size) = 0;

    protected:
        ~Receiver() = default;
    };

    virtual ~LinkTransport() = default;

    void setReceiver(Receiver *receiver) { receiver_ = receiver; }

    // Open (serial) or connected (TCP): requests can go out.
    virtual bool isUsable() const = 0;
    virtual void close() = 0;

    // Writes the whole frame and pushes it out; false with nothing open.
    virtual bool write(const QByteArray &frame) = 0;
    // Waits for the request to be written, then up to ms for bytes to arrive.
    virtual void waitForInput(int ms) = 0;
    // Sleeps ms, waking for input, and handles every event of the thread
    // that came meanwhile (the receive slots, the serial idle timer and the
    // host's own).
    virtual void pause(int ms) = 0;
    // Hands over, without waiting, what has arrived; notices a link that
    // has gone meanwhile.
    virtual void takeArrived() = 0;
    // Time the characters take on the line, in ms (0 on a network).
    virtual int wireMs(int chars) const = 0;

protected:
    void deliver(const char *bytes, int size)
    {
        if (receiver_ && size > 0)
            receiver_->receive(this, bytes, size);
    }
    void deliver(const QByteArray &bytes) { deliver(bytes.constData(), bytes.size()); }

private:
    Receiver *receiver_ = nullptr;
};

#endif // LINKTRANSPORT_H
