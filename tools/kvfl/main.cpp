#include "CommandDispatcher.h"
#include "Console.h"
#include "KvflTool.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
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

    Console console(&input, &output, &error);
    // Decoded with the local 8-bit encoding, so library paths with any characters the
    // file system holds arrive intact.
    return dispatcher.run(QCoreApplication::arguments(), console);
}
