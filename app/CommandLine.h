#pragma once

#include <QString>
#include <QStringList>

/// The library named on the command line: the first argument after the program name,
/// or an empty string. Further arguments are ignored. The arguments are expected as
/// QCoreApplication::arguments() gives them, decoded with the local 8-bit encoding, so
/// a path with any characters the file system holds opens.
QString startFileFromArguments(const QStringList& arguments);
