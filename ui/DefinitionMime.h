#pragma once

#include <QList>
#include <QString>

#include <memory>
#include <vector>

class QKVFixtureDefinition;
class QMimeData;

/// Definitions on the clipboard and in drags: this program's own type carries each
/// definition as the fixture document a library file stores, so another running editor
/// reads it exactly; plain text (a line per definition and channel) serves other programs.
/// Rows dragged between the two tables travel by their own types.
namespace DefinitionMime {

inline const QString DefinitionsType = QStringLiteral("application/x-qrd-fixture-definitions");

/// Both forms of `definitions`; the caller owns the result.
QMimeData* encode(const QList<QKVFixtureDefinition*>& definitions);
/// The definitions `data` carries in this program's type; none when it carries none or
/// its documents cannot be read.
std::vector<std::unique_ptr<QKVFixtureDefinition>> decode(const QMimeData* data);

} // namespace DefinitionMime
