#include "MessageHandler.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace {

bool g_debugOutput = false;

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

void handleMessage(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // A fatal message still ends the process: Qt aborts once the handler returns.
    if (!g_debugOutput) {
        return;
    }
    std::fprintf(stderr, "%s: %s\n", typeName(type), qUtf8Printable(message));
    std::fflush(stderr);
}

} // namespace

void installMessageHandler()
{
    g_debugOutput = qEnvironmentVariableIsSet("QRD_DEBUG");
    qInstallMessageHandler(handleMessage);
}
