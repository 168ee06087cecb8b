#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

/// The editor's command line: an optional library to open, --lang, --help and --version. The
/// arguments are expected as QCoreApplication::arguments() gives them, decoded with the
/// local 8-bit encoding, so a path with any characters the file system holds opens.
/// Qt's own options (-platform, -style, ...) are taken out by QApplication before the
/// arguments get here; an option neither knows is refused.
class CommandLine
{
public:
    /// `version` is what --version prints after the program name.
    explicit CommandLine(const QString& version);

    /// False for an unknown option or a missing option value; errorText() says which.
    /// Further arguments after the library are ignored, as file managers may pass more.
    bool parse(const QStringList& arguments);

    bool helpAsked() const;
    bool versionAsked() const;
    /// The language asked for with --lang ("de"), or an empty string for the system's.
    QString language() const;
    /// The library named on the command line, or an empty string.
    QString startFile() const;
    QString errorText() const { return m_parser.errorText(); }
    /// Needs a QCoreApplication: the usage line names the program it was started as.
    QString helpText() const { return m_parser.helpText(); }

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_helpOption;
    QCommandLineOption m_versionOption;
    QCommandLineOption m_languageOption;
};

/// The library named by `arguments`, or an empty string (also when they are refused).
QString startFileFromArguments(const QStringList& arguments);

/// The language `arguments` ask for with --lang, or an empty string; read before any text is
/// translated, so that the command line's own answers can be in that language.
QString languageFromArguments(const QStringList& arguments);
