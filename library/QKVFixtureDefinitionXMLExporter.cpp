#include "QKVFixtureDefinitionXMLExporter.h"

#include "FixtureDocument.h"
#include "FixtureType.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"

#include <QXmlStreamWriter>

using namespace FixtureDocument;

QKVFixtureDefinitionXMLExporter::QKVFixtureDefinitionXMLExporter(QObject* parent)
    : QObject(parent)
{
}

void QKVFixtureDefinitionXMLExporter::exportDefinition(const QKVFixtureDefinition& definition,
                                                       QByteArray& document) const
{
    document.clear();
    QXmlStreamWriter writer(&document);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(RootElement);

    writer.writeEmptyElement(ManufacturerElement);
    writer.writeAttribute(NameAttribute, definition.manufacturer());
    if (!definition.autoManufacturerShort()) {
        writer.writeAttribute(ShortNameAttribute, definition.manufacturerShort());
    }

    writer.writeEmptyElement(ModelElement);
    writer.writeAttribute(NameAttribute, definition.name());
    if (!definition.autoShortName()) {
        writer.writeAttribute(ShortNameAttribute, definition.shortName());
    }

    if (definition.type() != FixtureType::Undefined) {
        writer.writeTextElement(TypeElement, FixtureType::xmlName(definition.type()));
    }

    for (const QKVFixtureChannel* channel : definition.channels()) {
        writer.writeEmptyElement(ChannelElement);
        writer.writeAttribute(NameAttribute, channel->name());
        if (!channel->autoShortName()) {
            writer.writeAttribute(ShortNameAttribute, channel->shortName());
        }
    }

    writer.writeStartElement(PersonalityElement);
    for (const QKVFixtureChannel* channel : definition.channels()) {
        writer.writeStartElement(ChannelRefElement);
        writer.writeAttribute(NumberAttribute, QString::number(channel->number()));
        if (!channel->name().isEmpty()) {
            writer.writeCharacters(channel->name());
        }
        writer.writeEndElement();
    }
    writer.writeEndElement(); // Personality

    writer.writeEndElement(); // root
    writer.writeEndDocument();
}

QByteArray QKVFixtureDefinitionXMLExporter::toXml(const QKVFixtureDefinition& definition)
{
    QByteArray document;
    QKVFixtureDefinitionXMLExporter().exportDefinition(definition, document);
    return document;
}
