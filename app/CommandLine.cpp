#include "CommandLine.h"

QString startFileFromArguments(const QStringList& arguments)
{
    return arguments.size() > 1 ? arguments.at(1) : QString();
}
