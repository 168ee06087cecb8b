#include "LibraryContent.h"

#include "QKVFixtureDefinition.h"

LibraryContent::LibraryContent() = default;

LibraryContent::~LibraryContent() = default;

QList<QKVFixtureDefinition*> LibraryContent::definitionList() const
{
    QList<QKVFixtureDefinition*> list;
    list.reserve(static_cast<qsizetype>(definitions.size()));
    for (const auto& definition : definitions) {
        list.append(definition.get());
    }
    return list;
}

QList<QKVFixtureDefinition*> LibraryContent::named(const QStringList& names, QStringList& unknown) const
{
    if (names.isEmpty()) {
        return definitionList();
    }
    QList<QKVFixtureDefinition*> picked;
    QStringList found;
    for (const auto& definition : definitions) {
        const QString name = definition->name();
        if (names.contains(name)) {
            picked.append(definition.get());
            found.append(name);
        }
    }
    for (const QString& name : names) {
        if (!found.contains(name) && !unknown.contains(name)) {
            unknown.append(name);
        }
    }
    return picked;
}
