#include "DefinitionMime.h"

#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"
#include "QKVFixtureDefinitionXMLExporter.h"

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>

namespace DefinitionMime {

namespace {
/// Documents a clipboard may carry: far more than any library, few enough to bound a
/// hostile one.
constexpr qsizetype MaxDocuments = 100000;
} // namespace

QMimeData* encode(const QList<QKVFixtureDefinition*>& definitions)
{
    QList<QByteArray> documents;
    QString text;
    for (const QKVFixtureDefinition* definition : definitions) {
        documents << QKVFixtureDefinitionXMLExporter::toXml(*definition);
        text += QStringLiteral("%1\t%2\t%3\n")
                    .arg(definition->displayName(), definition->manufacturer())
                    .arg(definition->channelCount());
        for (const QKVFixtureChannel* channel : definition->channels()) {
            text += QStringLiteral("\t%1\t%2\n").arg(channel->number()).arg(channel->name());
        }
    }
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << documents;
    auto* data = new QMimeData;
    data->setData(DefinitionsType, bytes);
    data->setText(text);
    return data;
}

std::vector<std::unique_ptr<QKVFixtureDefinition>> decode(const QMimeData* data)
{
    std::vector<std::unique_ptr<QKVFixtureDefinition>> result;
    if (!data || !data->hasFormat(DefinitionsType)) {
        return result;
    }
    QByteArray bytes = data->data(DefinitionsType);
    QDataStream stream(&bytes, QIODevice::ReadOnly);
    qint32 count = 0;
    stream >> count;
    if (stream.status() != QDataStream::Ok || count < 0 || count > MaxDocuments) {
        return result;
    }
    stream.device()->seek(0);
    QList<QByteArray> documents;
    stream >> documents;
    if (stream.status() != QDataStream::Ok) {
        return result;
    }
    for (const QByteArray& document : std::as_const(documents)) {
        QKVFixtureDefinitionLoader loader;
        loader.setDocument(document);
        loader.parse();
        if (!loader.wellFormed()) {
            return {};
        }
        for (const QKVFixtureDefinition* definition : loader.definitions()) {
            auto copy = std::make_unique<QKVFixtureDefinition>();
            *copy = *definition;
            copy->setParent(nullptr);
            result.push_back(std::move(copy));
        }
    }
    return result;
}

} // namespace DefinitionMime
