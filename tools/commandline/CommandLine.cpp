// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CommandLine.h"

#include <QtCore/QRegularExpression>

namespace CommandLine {

namespace {

// "--..." or "-" and a letter: a negative number and "-inf", "-infinity"
// and "-nan" are words.
bool isOption(const QString &argument)
{
    static const QRegularExpression floatWord(QStringLiteral("^-(inf|infinity|nan)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    return argument.startsWith(QLatin1String("--"))
           || (argument.size() > 1 && argument.at(0) == QLatin1Char('-') && argument.at(1).isLetter()
               && !floatWord.match(argument).hasMatch());
}

QStringList namesOf(const Option &option)
{
    return QString::fromLatin1(option.names).split(QLatin1Char(','));
}

} // namespace

Error parse(const Option *options, std::size_t count, const QStringList &arguments,
            QCommandLineParser *parser)
{
    parser->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option *option = options; option != options + count; ++option)
        parser->addOption(QCommandLineOption(namesOf(*option), QString(), QLatin1String(option->valueName)));

    // The parser takes a word for an option wherever it stands: the options
    // go first, each with its value, and the words after a "--", in order.
    QStringList ordered{QString()};   // the program name the parser skips
    QStringList words{QStringLiteral("--")};
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--")) {
            words += arguments.mid(i + 1);
            break;
        }
        if (!isOption(argument)) {
            words << argument;
            continue;
        }
        const int equals = argument.indexOf(QLatin1Char('='));
        Error error;
        error.option = argument.left(equals);
        error.name = error.option.mid(error.option.startsWith(QLatin1String("--")) ? 2 : 1);
        const Option *option = options;
        while (option != options + count && !namesOf(*option).contains(error.name))
            ++option;
        const bool hasNext = i + 1 < arguments.size();
        if (option == options + count)
            error.kind = Error::UnknownOption;
        else if (!option->valueName && equals >= 0)
            error.kind = Error::UnexpectedValue;
        else if (option->valueName && equals < 0 && !option->optionalValue && !hasNext)
            error.kind = Error::MissingValue;
        if (error.kind != Error::None)
            return error;

        ordered << argument;
        if (!option->valueName || equals >= 0)
            continue;
        if (!option->optionalValue
            || (hasNext && QRegularExpression(QRegularExpression::anchoredPattern(QLatin1String(option->optionalValue)))
                               .match(arguments.at(i + 1)).hasMatch()))
            ordered << arguments.at(++i);
        else
            ordered.last() += QLatin1Char('=');
    }
    // Every option is known and has its value: this cannot fail.
    parser->parse(ordered + words);
    return Error();
}

} // namespace CommandLine
