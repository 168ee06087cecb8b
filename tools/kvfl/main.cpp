#include "CommandDispatcher.h"
#include "Console.h"
#include "KvflTool.h"
#include "SheetCommand.h"
#include "Version.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

/// Fonts, and so the channel sheets, need the GUI side of Qt. The offscreen platform gives
/// it without a display, so the command runs over SSH and in scripts; the other commands
/// stay free of its start-up.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char* argv[])
{
    if (argc > 1 && std::strcmp(argv[1], SheetCommand::Name) == 0) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Outside a desktop session (cron, SSH) the platform's start-up warns that
        // XDG_RUNTIME_DIR is unset; the tool keeps no runtime files, so in a script's
        // output that is noise. main() sets the rules afresh once the application exists.
        QLoggingCategory::setFilterRules(QStringLiteral("default.warning=false"));
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

int main(int argc, char* argv[])
{
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(KvflTool::ProgramName));

    QFile input;
    QFile output;
    QFile error;
    input.open(stdin, QIODevice::ReadOnly);
    output.open(stdout, QIODevice::WriteOnly);
    error.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);

    // The libraries' debug lines belong in the editor's log, not among a script's
    // messages; QT_LOGGING_RULES still turns them on.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    CommandDispatcher dispatcher(QString::fromLatin1(KvflTool::ProgramName));
    KvflTool::setUp(dispatcher);
    dispatcher.setVersion(QString::fromLatin1(ProgramVersion));

    Console console(&input, &output, &error);
    // Decoded with the local 8-bit encoding, so library paths with any characters the
    // file system holds arrive intact.
    return dispatcher.run(QCoreApplication::arguments(), console);
}
