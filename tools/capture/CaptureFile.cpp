// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CaptureFile.h"

#include <QtCore/QFile>

#include <pcap/pcap.h>

#include <ctime>

namespace {

// The longest frame is about 1 KiB; a TCP read hands over at most 2 KiB.
constexpr int snapLength = 65535;

qint64 nowUs()
{
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    return qint64(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

} // namespace

CaptureFile::~CaptureFile()
{
    close();
}

bool CaptureFile::open(const QString &path, QString *error)
{
    close();
    handle_ = pcap_open_dead(linkType, snapLength);
    if (!handle_) {
        *error = QStringLiteral("cannot start a capture");
        return false;
    }
    dumper_ = pcap_dump_open(handle_, QFile::encodeName(path).constData());
    if (!dumper_) {
        *error = QStringLiteral("cannot write the capture %1: %2")
                     .arg(path, QString::fromLocal8Bit(pcap_geterr(handle_)));
        pcap_close(handle_);
        handle_ = nullptr;
        return false;
    }
    return true;
}

void CaptureFile::close()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (dumper_)
        pcap_dump_close(dumper_);
    if (handle_)
        pcap_close(handle_);
    dumper_ = nullptr;
    handle_ = nullptr;
}

void CaptureFile::write(From from, Link link, quint16 connection, const QByteArray &bytes)
{
    write(from, link, connection, bytes, nowUs());
}

void CaptureFile::write(From from, Link link, quint16 connection, const QByteArray &bytes,
                        qint64 timeUs)
{
    QByteArray record;
    record.reserve(headerSize + bytes.size());
    record.append(char(from));
    record.append(char(link));
    record.append(char(connection >> 8));
    record.append(char(connection & 0xFF));
    record.append(bytes);

    pcap_pkthdr header {};
    header.ts.tv_sec = time_t(timeUs / 1000000);
    header.ts.tv_usec = suseconds_t(timeUs % 1000000);
    header.caplen = bpf_u_int32(qMin(record.size(), snapLength));
    header.len = bpf_u_int32(record.size());

    std::lock_guard<std::mutex> lock(mutex_);
    if (!dumper_)
        return;
    pcap_dump(reinterpret_cast<u_char *>(dumper_), &header,
              reinterpret_cast<const u_char *>(record.constData()));
    pcap_dump_flush(dumper_);
}
