#pragma once

#include <QByteArray>
#include <QObject>

class QKVFixtureDefinition;

/// Writes one fixture definition as the XML document a library stores per definition:
/// UTF-8, 4-space indentation, empty elements self-closing. Stored short names are
/// written as they are (only those whose auto flag is off); nothing is recomputed.
class QKVFixtureDefinitionXMLExporter : public QObject
{
    Q_OBJECT

public:
    explicit QKVFixtureDefinitionXMLExporter(QObject* parent = nullptr);

    /// Replaces the contents of `document` with the document for `definition`.
    void exportDefinition(const QKVFixtureDefinition& definition, QByteArray& document) const;

    /// The document for `definition`.
    static QByteArray toXml(const QKVFixtureDefinition& definition);
};
