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
