#ifndef NORVO_TESTS_PTYPAIR_H
#define NORVO_TESTS_PTYPAIR_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

// A pseudo-terminal pair in raw mode: the slave path plays the serial
// device the driver opens, the master end is the PLC's side of the line.
//
// The pair keeps a descriptor of the slave open for its whole life, so the
// master never sees a hang-up while the driver closes and reopens the port.
// Nothing reads that descriptor: every byte written to the master reaches
// whoever else has the slave open.
class PtyPair
{
public:
    PtyPair() = default;
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    // Creates the pair; false when the system has no pseudo-terminals left.
    bool open();
    void close();
    bool isOpen() const { return masterFd_ >= 0; }

    int masterFd() const { return masterFd_; }
    // For tcgetattr: the line settings belong to the slave side, whichever
    // descriptor reads them.
    int slaveFd() const { return slaveFd_; }
    QString slavePath() const { return slavePath_; }

    // Blocking helpers on the master end, for tests that play the PLC
    // by hand. writeMaster writes everything; readMaster returns what
    // arrives within timeoutMs (possibly nothing).
    bool writeMaster(const QByteArray &bytes);
    QByteArray readMaster(int timeoutMs);

private:
    int masterFd_ = -1;
    int slaveFd_ = -1;
    QString slavePath_;
};

#endif
