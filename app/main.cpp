#include "CommandLine.h"
#include "MainWindow.h"
#include "MessageHandler.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Installed before the application object, so that nothing the toolkit says while
    // it starts reaches the console either.
    installMessageHandler();
    QApplication application(argc, argv);
    // Wayland shells match a window to its menu entry (icon, name) by this id, not by
    // the program name; it is the name of the installed dist/linux desktop file.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.qrd_fixture_editor.QrdFixtureEditor"));

    // Never deleted: the window lives as long as the process.
    auto* window = new MainWindow(startFileFromArguments(QCoreApplication::arguments()));
    window->show();
    return QApplication::exec();
}
