// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_COMMANDLINE_H
#define NORVO_COMMANDLINE_H

#include <QtCore/QCommandLineParser>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstddef>

// The grammar of norvo's and norvo-sim's command lines, read by
// QCommandLineParser: "--name VALUE", "--name=VALUE", "-name" as "--name",
// and "--" before words only. A negative number or "-inf" is a word where
// it stands, so that "write D100 int16 -5" keeps its value in place.
namespace CommandLine {

struct Option {
    const char *names;                // "h,help"
    const char *valueName = nullptr;  // none: a flag
    // A value the option takes only when the next argument matches this
    // pattern (or is given as "--name=VALUE"); the value is empty otherwise.
    const char *optionalValue = nullptr;
};

// What the line got wrong; each tool says it in its own words.
struct Error {
    enum Kind { None, UnknownOption, MissingValue, UnexpectedValue };
    Kind kind = None;
    QString option;   // as written, without "=VALUE": "--x", "-x"
    QString name;     // without its dashes: "x"
};

// Reads `arguments` (without the program name) into `parser`, which gets
// `options`; the words are then parser->positionalArguments(), in order.
Error parse(const Option *options, std::size_t count, const QStringList &arguments,
            QCommandLineParser *parser);

template <std::size_t N>
Error parse(const Option (&options)[N], const QStringList &arguments, QCommandLineParser *parser)
{
    return parse(options, N, arguments, parser);
}

} // namespace CommandLine

#endif
