#include "MessageHandler.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace {

bool g_debugOutput = false;
const char* g_startingProgram = nullptr;

QStringList& startReasons()
{
    static QStringList reasons;
    return reasons;
}

const char* typeName(QtMsgType type)
{
    switch (type) {
        case QtDebugMsg:
            return "debug";
        case QtInfoMsg:
            return "info";
        case QtWarningMsg:
            return "warning";
        case QtCriticalMsg:
            return "critical";
        case QtFatalMsg:
            return "fatal";
    }
    return "message";
}

/// Qt names the cause of a failed start in the warnings before its fatal message ("could
/// not connect to display"); the fatal one only adds that no platform plugin was usable
/// and lists them all over several lines. The user gets the causes on one line.
[[noreturn]] void failStart(const QString& fatalMessage)
{
    QStringList reasons = startReasons();
    if (reasons.isEmpty()) {
        reasons << fatalMessage.section(QLatin1Char('\n'), 0, 0).trimmed();
    }
    std::fprintf(stderr,
                 "%s: cannot open a window: %s\n",
                 g_startingProgram,
                 qUtf8Printable(reasons.join(QStringLiteral("; "))));
    std::fflush(stderr);
    // Not exit(): the half-made application object must not be torn down.
    std::_Exit(EXIT_FAILURE);
}

void handleMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (g_debugOutput) {
        std::fprintf(stderr, "%s: %s\n", typeName(type), qUtf8Printable(message));
        std::fflush(stderr);
    }
    if (g_startingProgram) {
        if (type == QtFatalMsg) {
            failStart(message);
        }
        if (type != QtDebugMsg) {
            startReasons().append(message.simplified());
        }
    }
    // Any other fatal message still ends the process: Qt aborts once the handler returns.
}

} // namespace

void installMessageHandler()
{
    const QByteArray debug = qgetenv("QRD_DEBUG");
    g_debugOutput = !debug.isEmpty() && debug != "0";
    qInstallMessageHandler(handleMessage);
}

void beginStartUp(const char* program)
{
    startReasons().clear();
    g_startingProgram = program;
}

void endStartUp()
{
    g_startingProgram = nullptr;
    startReasons().clear();
}
