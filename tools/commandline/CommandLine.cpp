// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CommandLine.h"

#include <QtCore/QRegularExpression>

#include <algorithm>

namespace {

QStringList namesOf(const CommandLine::Option &option)
{
    return QString::fromLatin1(option.names).split(QLatin1Char(','));
}

} // namespace

CommandLine::Error CommandLine::parse(const std::vector<Option> &options, const QStringList &arguments,
                                      QCommandLineParser *parser)
{
    // "--..." or "-" and a letter: a negative number and "-inf", "-infinity"
    // and "-nan" are words.
    static const QRegularExpression optionForm(QStringLiteral("^(--|-(?!(inf|infinity|nan)$)\\p{L})"),
                                               QRegularExpression::CaseInsensitiveOption);
    parser->setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option &option : options)
        parser->addOption(QCommandLineOption(namesOf(option), QString(), QLatin1String(option.valueName)));

    // The parser takes a word for an option wherever it stands: the options
    // go first, each with its value, and the words after a "--", in order.
    QStringList ordered{QString()};   // the program name the parser skips
    QStringList words{QStringLiteral("--")};
    Error first;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--")) {
            words += arguments.mid(i + 1);
            break;
        }
        if (!optionForm.match(argument).hasMatch()) {
            words << argument;
            continue;
        }
        const int equals = argument.indexOf(QLatin1Char('='));
        Error error{Error::None, argument.left(equals), QString()};
        error.name = error.option.mid(error.option.startsWith(QLatin1String("--")) ? 2 : 1);
        const auto option = std::find_if(options.begin(), options.end(),
                                         [&error](const Option &o) { return namesOf(o).contains(error.name); });
        const bool hasNext = i + 1 < arguments.size();
        if (option == options.end())
            error.kind = Error::UnknownOption;
        else if (!option->valueName && equals >= 0)
            error.kind = Error::UnexpectedValue;
        else if (option->valueName && equals < 0 && !option->optionalValue && !hasNext)
            error.kind = Error::MissingValue;
        if (error.kind != Error::None) {
            if (first.kind == Error::None)
                first = error;
            if (error.kind == Error::UnexpectedValue)
                ordered << error.option;   // given all the same
            continue;
        }
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
    // Every option left is known and has its value: this cannot fail.
    parser->parse(ordered + words);
    return first;
}

QString CommandLine::describe(const Error &error, const QString &tool)
{
    switch (error.kind) {
    case Error::UnknownOption:
        return QStringLiteral("unknown option \"%1\" (see %2 --help)").arg(error.option, tool);
    case Error::UnexpectedValue:
        return QStringLiteral("%1 takes no value").arg(error.option);
    case Error::MissingValue:
        return QStringLiteral("%1 needs a value").arg(error.option);
    case Error::None:
        break;
    }
    return QString();
}
