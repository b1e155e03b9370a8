// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_COMMANDLINE_H
#define NORVO_COMMANDLINE_H

#include <QtCore/QCommandLineParser>

#include <vector>

// The grammar of norvo's and norvo-sim's command lines, read by
// QCommandLineParser: "--name VALUE", "--name=VALUE", "-name" as "--name",
// and "--" before words only. A negative number or "-inf" is a word where
// it stands, so that "write D100 int16 -5" keeps its value in place.
namespace CommandLine {

struct Option {
    const char *names;                // "h,help"
    const char *valueName = nullptr;  // none: a flag
    // The value is taken only when the next argument matches this pattern
    // (or as "--name=VALUE"); it is empty otherwise.
    const char *optionalValue = nullptr;
};

// What the line got wrong; each tool says it in its own words.
struct Error {
    enum Kind { None, UnknownOption, MissingValue, UnexpectedValue };
    Kind kind = None;
    QString option;   // as written, without "=VALUE": "--x", "-x"
    QString name;     // without its dashes: "x"
};

// The problem in norvo's words, naming the tool whose --help helps; empty
// for none.
QString describe(const Error &error, const QString &tool);

// Reads `arguments` (without the program name) into `parser`, which gets
// `options`; the words are then parser->positionalArguments(), in order.
// Returns the first problem; the parser still has the options read well.
Error parse(const std::vector<Option> &options, const QStringList &arguments, QCommandLineParser *parser);

} // namespace CommandLine

#endif
