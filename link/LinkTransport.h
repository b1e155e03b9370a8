#ifndef LINKTRANSPORT_H
#define LINKTRANSPORT_H

#include <QtCore/QByteArray>

class QIODevice;

// One kind of link to the PLC (TCP socket or serial line), as the exchange
// sees it. The link manager creates and owns the device; a transport works
// on it and is the only code that knows which kind it is.
class LinkTransport
{
public:
    virtual ~LinkTransport() = default;

    // The device, or null before the link manager created one.
    virtual QIODevice *device() const = 0;
    // Open (serial) or connected (TCP): requests can go out.
    virtual bool isUsable() const = 0;
    virtual void close() = 0;

    // Writes the whole frame and pushes it out; false with nothing open.
    virtual bool write(const QByteArray &frame) = 0;
    // Waits up to ms for bytes to arrive; the caller has already waited for
    // the request to be written. What the receive slots do not see is returned.
    virtual QByteArray awaitInput(int ms) = 0;
    // Takes in, without waiting, what the device or the system holds for
    // it. The receive slots collect what arrives into the caller's buffer;
    // the result is what they have not seen.
    virtual QByteArray takeArrived() = 0;
    // Throws away everything received and not yet read; notices a peer
    // that has gone meanwhile.
    virtual void dropStaleInput() = 0;
    // The system's handle of the open link, for waits; -1 when closed.
    virtual int descriptor() const = 0;
    // Time the characters take on the line, in ms (0 on a network).
    virtual int wireMs(int chars) const = 0;
};

#endif // LINKTRANSPORT_H
