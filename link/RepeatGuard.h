// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef REPEATGUARD_H
#define REPEATGUARD_H

#include <QtCore/QByteArray>
#include <QtCore/QtGlobal>

// Some lines repeat answers (a gateway that retries, an echoing radio
// modem). A copy that comes while a request of the same shape waits would
// pass for its answer: answers carry no address.
//
// The guard learns such a line from the copies it shows: a frame with the
// same bytes as an answer just taken, owed by nothing. On a line known to
// repeat, an answer is taken only once the line has stayed quiet long
// enough to show its copy (learnt from the copies seen, bounded); the guard
// ends after a run of exchanges without copies. A clean line pays nothing.
class RepeatGuard
{
public:
    // The longest quiet waited for before an answer is taken.
    static constexpr int maxQuietMs = 500;
    // A frame older than this is no copy but a stray.
    static constexpr int maxCopyAgeMs = 2 * maxQuietMs;
    // Exchanges without a copy that end the guard.
    static constexpr int cleanRunToEnd = 32;

    bool isOn() const { return on_; }
    // How long the line must stay quiet before an answer is taken.
    int quietMs() const { return on_ ? quietMs_ : 0; }

    // An answer (or owed answer) arrived at ms: its copy may follow.
    void seen(const QByteArray &frame, qint64 atMs);
    // Is the frame, owed by nothing, a copy of one seen lately? Its delay
    // behind the original, or -1.
    int copyDelay(const char *frame, int size, qint64 nowMs) const;
    // A copy came delayMs behind its original: the line repeats.
    void copySeen(int delayMs);
    // An exchange ended; copies came during it or not.
    void exchangeEnded(bool copies);
    // A line opened anew may be another line.
    void reset() { *this = RepeatGuard(); }

private:
    static constexpr int kept = 4;

    QByteArray recent_[kept];
    qint64 recentAt_[kept] = {};
    int next_ = 0;
    bool on_ = false;
    int quietMs_ = 0;
    int cleanRun_ = 0;
};

#endif // REPEATGUARD_H
