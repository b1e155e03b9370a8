// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PROTOCOL_LINKACCOUNT_H
#define NORVO_PROTOCOL_LINKACCOUNT_H

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QStringList>

// The link's account of what it does with frames (logging category
// "norvo.link"), and the driver's request and answer lines: what the
// library writes and the tools read. Each line has one template; format()
// and parse() both follow it, so the two sides cannot drift apart.
namespace LinkAccount {

enum class Kind {
    Refused,         // the request's answer was refused: verdict, the frame or what came
    OwedDropped,     // an owed answer dropped
    OwedDroppedLate, //   ... with how late it came and the wait it missed
    OwedTakenLate,   // an owed answer taken as the synchronising read's
    OwedTaken,
    UnowedDropped,   // a frame nothing owes: its station is out of step
    UnownedUntold,   // count more of them, not told one by one
    CopyDropped,     // a copy of an answer just seen
    StaleDropped,    // fits the request, but may be from before the station fell out of step
    BrokenDropped,   // no whole frame
    Synchronising,   // a synchronising read goes to the station first
    InStep,
    StillOutOfStep,  // its synchronising read failed: the request was not sent
    NoSyncLeft,
    WaitLearnt,      // the answer wait grew: ms the new wait, lateMs the answer that taught it
    LineRepeats,     // answers are used once the line stays quiet ms
    LinkOpened,      // a link opened on path, its history unknown
    OpenedWhileOwed,
    PathForgotten,
    InputDropped,    // more than count bytes without a frame end
    FrameLine,       // the driver's request or answer line (debug switch on)
};

struct Event
{
    Kind kind = Kind::Refused;
    QString verdict;    // Refused: "integrity", "plc-error 6", ...; FrameLine: the line's tag
    QByteArray frame;   // the frame itself (hex in the text); may be empty
    QByteArray station; // the station's two characters, as they travel
    QString path;       // LinkOpened, PathForgotten; FrameLine: "address:port"
    QString label;      // FrameLine
    int ms = -1;
    int lateMs = -1;
    int count = -1;

    bool operator==(const Event &other) const
    {
        return kind == other.kind && verdict == other.verdict && frame == other.frame
            && station == other.station && path == other.path && label == other.label
            && ms == other.ms && lateMs == other.lateMs && count == other.count;
    }
};

namespace detail {

struct Template
{
    Kind kind;
    const char *text; // {name} are the fields
};

// The kind of line a template of the account stands for. Order matters only
// where one template's text begins another's: the longer goes first.
inline const Template *templates(int *size)
{
    static const Template all[] = {
        { Kind::Refused, "refused {verdict}: {frame}" },
        { Kind::OwedDroppedLate, "dropped owed answer, {late} ms after its request (the wait was {ms} ms): {frame}" },
        { Kind::OwedDropped, "dropped owed answer: {frame}" },
        { Kind::OwedTakenLate, "took owed answer, {late} ms after its request (the wait was {ms} ms): {frame}" },
        { Kind::OwedTaken, "took owed answer: {frame}" },
        { Kind::UnowedDropped, "dropped unowed frame, station {station} out of step: {frame}" },
        { Kind::UnownedUntold, "dropped {count} more unowed frames" },
        { Kind::CopyDropped, "dropped copy, {ms} ms behind its original: {frame}" },
        { Kind::StaleDropped, "dropped answer of unknown age (out of step): {frame}" },
        { Kind::BrokenDropped, "dropped broken frame: {frame}" },
        { Kind::Synchronising, "synchronising station {station} with {frame}" },
        { Kind::InStep, "in step with station {station}" },
        { Kind::StillOutOfStep, "station {station} still out of step" },
        { Kind::NoSyncLeft, "no synchronising read left for station {station}" },
        { Kind::WaitLearnt, "answer wait now {ms} ms: an answer came {late} ms after its request" },
        { Kind::LineRepeats, "line repeats answers: each is used once the line stays quiet {ms} ms" },
        { Kind::LinkOpened, "link opened on {path} out of step: its history is unknown" },
        { Kind::OpenedWhileOwed, "link opened while answers were owed" },
        { Kind::PathForgotten, "forgot path {path} used longest ago" },
        { Kind::InputDropped, "receive buffer over {count} bytes: input dropped, out of step" },
        // "lib[Norvo]读命令 127.0.0.1:500 Area=D100  len = 2 msg : 0230..."
        { Kind::FrameLine, "{verdict} {path} Area={label}  len = {count} msg : {frame}" },
    };
    *size = int(sizeof(all) / sizeof(all[0]));
    return all;
}

inline const Template *templateOf(Kind kind)
{
    int size = 0;
    const Template *all = templates(&size);
    for (int i = 0; i < size; ++i) {
        if (all[i].kind == kind)
            return &all[i];
    }
    return nullptr;
}

inline QString fieldText(const Event &event, const QString &name)
{
    if (name == QLatin1String("verdict"))
        return event.verdict;
    if (name == QLatin1String("frame"))
        return QString::fromLatin1(event.frame.toHex());
    if (name == QLatin1String("station"))
        return QString::fromLatin1(event.station);
    if (name == QLatin1String("path"))
        return event.path;
    if (name == QLatin1String("label"))
        return event.label;
    if (name == QLatin1String("ms"))
        return QString::number(event.ms);
    if (name == QLatin1String("late"))
        return QString::number(event.lateMs);
    return QString::number(event.count);
}

inline bool setField(Event *event, const QString &name, const QString &text)
{
    bool ok = true;
    if (name == QLatin1String("verdict")) {
        event->verdict = text;
    } else if (name == QLatin1String("frame")) {
        for (const QChar c : text)
            ok = ok && ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')));
        ok = ok && text.size() % 2 == 0;
        event->frame = QByteArray::fromHex(text.toLatin1());
    } else if (name == QLatin1String("station")) {
        ok = text.size() == 2;
        event->station = text.toLatin1();
    } else if (name == QLatin1String("path")) {
        event->path = text;
    } else if (name == QLatin1String("label")) {
        event->label = text;
    } else {
        const int number = text.toInt(&ok, 10);
        if (name == QLatin1String("ms"))
            event->ms = number;
        else if (name == QLatin1String("late"))
            event->lateMs = number;
        else
            event->count = number;
    }
    return ok;
}

// Literal text and field names, alternating, literal first.
inline QStringList pieces(const char *text)
{
    QStringList parts;
    const QString t = QString::fromUtf8(text);
    int at = 0;
    for (;;) {
        const int open = t.indexOf(QLatin1Char('{'), at);
        if (open < 0) {
            parts << t.mid(at);
            return parts;
        }
        const int close = t.indexOf(QLatin1Char('}'), open);
        parts << t.mid(at, open - at) << t.mid(open + 1, close - open - 1);
        at = close + 1;
    }
}

inline bool match(const Template &tmpl, const QString &line, Event *event)
{
    const QStringList parts = pieces(tmpl.text);
    Event parsed;
    parsed.kind = tmpl.kind;
    if (!line.startsWith(parts.first()))
        return false;
    int at = parts.first().size();
    for (int i = 1; i < parts.size(); i += 2) {
        const QString &literal = parts.at(i + 1);
        // A field runs to the next literal (the last one to the end of the line).
        const int end = literal.isEmpty() ? line.size()
            : i + 2 == parts.size() ? (line.endsWith(literal) ? line.size() - literal.size() : -1)
                                    : line.indexOf(literal, at);
        if (end < at || !setField(&parsed, parts.at(i), line.mid(at, end - at)))
            return false;
        at = end + literal.size();
    }
    if (at != line.size())
        return false;
    *event = parsed;
    return true;
}

} // namespace detail

// The line of an event, as the link writes it.
inline QString format(const Event &event)
{
    const detail::Template *tmpl = detail::templateOf(event.kind);
    if (!tmpl)
        return QString();
    const QStringList parts = detail::pieces(tmpl->text);
    QString line = parts.first();
    for (int i = 1; i < parts.size(); i += 2)
        line += detail::fieldText(event, parts.at(i)) + parts.at(i + 1);
    return line;
}

// The event a line tells; false for a line of no known form. Qt's message
// log drops a line's last blank, which an empty last field leaves.
inline bool parse(const QString &line, Event *event)
{
    int size = 0;
    const detail::Template *all = detail::templates(&size);
    for (const QString &form : { line, line + QLatin1Char(' ') }) {
        for (int i = 0; i < size; ++i) {
            if (detail::match(all[i], form, event))
                return true;
        }
    }
    return false;
}

} // namespace LinkAccount

#endif
