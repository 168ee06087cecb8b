#pragma once

#include <QByteArray>
#include <QString>

/// Decompresses a whole gzip file into memory, without looking at what it holds: the
/// floor under which no reader of a gzip-compressed library can get.
namespace Gunzip {

/// The decompressed bytes of `path`; false, with `error` set, when it cannot be read.
bool readFile(const QString& path, QByteArray& data, QString& error);

} // namespace Gunzip
