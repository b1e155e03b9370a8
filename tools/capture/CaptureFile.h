// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CAPTUREFILE_H
#define NORVO_CAPTUREFILE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <mutex>

struct pcap;
struct pcap_dumper;

// A capture file (libpcap's format) of the bytes a link carries, for
// Wireshark and tshark with the norvo dissector. One record per piece as it
// went over the line, stamped with the moment it was sent or arrived, so a
// frame that came in pieces keeps them apart.
//
// Link type DLT_USER0 (147). Each record starts with a header of 4 bytes:
//
//   offset 0  who sent the bytes: 0 the host (requests), 1 the PLC (answers)
//   offset 1  the link: 1 TCP, 2 serial line (or pty)
//   offset 2  connection number, 2 bytes, big-endian: the bytes of one link
//             connection (a TCP connection, a serial session) share it
//
// and the bytes follow as they were on the line.
//
// Records may come from several threads; each is flushed at once, so the
// file is whole whenever the program stops.
class CaptureFile
{
public:
    static constexpr int linkType = 147; // DLT_USER0
    static constexpr int headerSize = 4;

    enum class From : unsigned char { Host = 0, Plc = 1 };
    enum class Link : unsigned char { Tcp = 1, Serial = 2 };

    CaptureFile() = default;
    ~CaptureFile();
    CaptureFile(const CaptureFile &) = delete;
    CaptureFile &operator=(const CaptureFile &) = delete;

    // Creates (or empties) the file; false with `error` set when it cannot.
    bool open(const QString &path, QString *error);
    bool isOpen() const { return dumper_ != nullptr; }
    void close();

    // One record, stamped now.
    void write(From from, Link link, quint16 connection, const QByteArray &bytes);
    // One record with its own time stamp (microseconds since the epoch).
    void write(From from, Link link, quint16 connection, const QByteArray &bytes, qint64 timeUs);

private:
    std::mutex mutex_;
    pcap *handle_ = nullptr;
    pcap_dumper *dumper_ = nullptr;
};

#endif
