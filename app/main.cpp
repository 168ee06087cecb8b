#include "CommandLine.h"
#include "MainWindow.h"
#include "MessageHandler.h"
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
    CommandLine commandLine(versionString());
    commandLine.parse(decodedArguments(argc, argv));
    if (!commandLine.helpAsked() && !commandLine.versionAsked()) {
        return false;
    }
    const QCoreApplication application(argc, argv);
    const QString text = commandLine.helpAsked() ? commandLine.helpText()
                                                 : QStringLiteral("%1 %2\n").arg(ProgramName, versionString());
    std::fputs(qUtf8Printable(text), stdout);
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

    CommandLine commandLine(versionString());
    if (!commandLine.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s: %s See --help.\n", ProgramName, qUtf8Printable(commandLine.errorText()));
        return EXIT_FAILURE;
    }
    // Never deleted: the window lives as long as the process.
    auto* window = new MainWindow(commandLine.startFile());
    window->show();
    return QApplication::exec();
}
