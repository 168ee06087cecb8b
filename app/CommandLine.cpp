#include "CommandLine.h"

#include <QCoreApplication>

CommandLine::CommandLine(const QString& version)
    : m_helpOption({QStringLiteral("h"), QStringLiteral("help")},
                   QCoreApplication::translate("CommandLine", "Show this help and quit."))
    , m_versionOption({QStringLiteral("v"), QStringLiteral("version")},
                      QCoreApplication::translate("CommandLine", "Show the version (%1) and quit.").arg(version))
    , m_languageOption(QStringLiteral("lang"),
                       QCoreApplication::translate("CommandLine",
                                                   "Show the editor in LANGUAGE (de, en, ...); without it, in the "
                                                   "language of the system."),
                       QStringLiteral("LANGUAGE"))
{
    m_parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "Fixture library editor for the QRD-540B and QRD-780 DMX testers."));
    // Qt's options are single-dash words; read as a bundle of letters, "-reverse" would
    // hold "v" and quit with the version instead of being refused.
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOption(m_helpOption);
    m_parser.addOption(m_versionOption);
    m_parser.addOption(m_languageOption);
    m_parser.addPositionalArgument(QStringLiteral("library"),
                                   QCoreApplication::translate("CommandLine",
                                                               "The library (.kvfl) to open; without it, the one "
                                                               "open when the editor was last closed."),
                                   QStringLiteral("[library]"));
}

bool CommandLine::parse(const QStringList& arguments)
{
    return m_parser.parse(arguments);
}

bool CommandLine::helpAsked() const
{
    return m_parser.isSet(m_helpOption);
}

bool CommandLine::versionAsked() const
{
    return m_parser.isSet(m_versionOption);
}

QString CommandLine::language() const
{
    return m_parser.value(m_languageOption);
}

QString CommandLine::startFile() const
{
    return m_parser.positionalArguments().value(0);
}

QString startFileFromArguments(const QStringList& arguments)
{
    CommandLine commandLine {QString()};
    return commandLine.parse(arguments) ? commandLine.startFile() : QString();
}

QString languageFromArguments(const QStringList& arguments)
{
    CommandLine commandLine {QString()};
    commandLine.parse(arguments);
    return commandLine.language();
}
