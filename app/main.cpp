#include "CommandLine.h"
#include "MainWindow.h"
#include "MessageHandler.h"
#include "UiLanguage.h"
#include "Version.h"

#include <QApplication>
#include <QFile>

#include <cstdio>

namespace {

const char* const ProgramName = "qrd-fixture-editor";

QString versionString()
{
    return QString::fromLatin1(ProgramVersion);
}

QStringList decodedArguments(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QFile::decodeName(argv[i]);
    }
    return arguments;
}

/// --help and --version answer without a window, so they work where no display is: the
/// arguments are looked at before the toolkit is started. Qt's own options are still in
/// them then and refused; that does not matter for these two.
bool answersWithText(int argc, char* argv[])
{
    const QStringList arguments = decodedArguments(argc, argv);
    CommandLine commandLine(versionString());
    commandLine.parse(arguments);
    if (!commandLine.helpAsked() && !commandLine.versionAsked()) {
        return false;
    }
    const QCoreApplication application(argc, argv);
    if (commandLine.versionAsked() && !commandLine.helpAsked()) {
        std::fputs(qUtf8Printable(QStringLiteral("%1 %2\n").arg(ProgramName, versionString())), stdout);
        return true;
    }
    // The options' descriptions are translated when they are made: once more, in the language asked.
    const UiLanguage language(UiLanguage::wishes(commandLine.language()));
    CommandLine translated(versionString());
    translated.parse(arguments);
    std::fputs(qUtf8Printable(translated.helpText()), stdout);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // Installed before the application object, so that nothing the toolkit says while
    // it starts reaches the console either.
    installMessageHandler();
    if (answersWithText(argc, argv)) {
        return EXIT_SUCCESS;
    }
    beginStartUp(ProgramName);
    QApplication application(argc, argv);
    endStartUp();
    QCoreApplication::setApplicationVersion(versionString());
    // Wayland shells match a window to its menu entry (icon, name) by this id, not by
    // the program name; it is the name of the installed dist/linux desktop file.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.qrd_fixture_editor.QrdFixtureEditor"));

    // Installed before the command line is read again, so that its complaints are translated too.
    const UiLanguage language(UiLanguage::wishes(languageFromArguments(QCoreApplication::arguments())));
    CommandLine commandLine(versionString());
    if (!commandLine.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr,
                     "%s: %s %s\n",
                     ProgramName,
                     qUtf8Printable(commandLine.errorText()),
                     qUtf8Printable(QCoreApplication::translate("CommandLine", "See --help.")));
        return EXIT_FAILURE;
    }
    // Never deleted: the window lives as long as the process.
    auto* window = new MainWindow(commandLine.startFile());
    window->show();
    return QApplication::exec();
}
