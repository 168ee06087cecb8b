#pragma once

#include "QxfFixture.h"

#include <QByteArray>
#include <QString>

/// Reads QLC+ fixture definition files (.qxf) into one QxfMode per mode. Elements are
/// matched by their local name, whatever namespace or prefix a file uses.
namespace QxfReader {

/// Fixture files are a few kilobytes; anything much larger is not one.
constexpr qint64 MaxFileSize = 4 * 1024 * 1024;
/// Fixture files nest a handful of levels.
constexpr int MaxElementDepth = 32;

/// One fixture file; one that cannot be read gives the reason and no modes.
QxfFile readFile(const QString& path);
/// The first part of readFile(): the file's bytes, or false and why not (it cannot be
/// opened or read, or it is larger than MaxFileSize). Apart so that a caller can overlap
/// the disk reads of many files while few of them are parsed.
bool readFileBytes(const QString& path, QByteArray& bytes, QString& error);
/// `path` is only recorded in the result. The capability lists of the fixture's channels,
/// of which nothing reaches the device, are skimmed: only their ends are found, so damage
/// inside one goes unnoticed (see QxfSkim).
QxfFile readBytes(const QByteArray& bytes, const QString& path = QString());
/// readBytes() that parses every element, the capability lists too. Slower; it gives the
/// same result for any file that it reads.
QxfFile readBytesStrictly(const QByteArray& bytes, const QString& path = QString());

/// `text` as the device can show it: line breaks and blank runs folded to one blank,
/// trimmed, and every character outside Latin-1 replaced by its nearest Latin-1 form
/// (dashes to "-", "…" to "...", accented letters kept as they are).
QString deviceText(const QString& text);

} // namespace QxfReader
