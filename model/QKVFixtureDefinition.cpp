#include "QKVFixtureDefinition.h"

#include "DeviceRecordLayout.h"
#include "QKVFixtureChannel.h"
#include "ShortNames.h"

#include <QAbstractItemModel>

namespace {
constexpr char16_t ErasedCharacter = 0x00FF;

bool startsErased(const QString& text)
{
    return !text.isEmpty() && text.at(0).unicode() == ErasedCharacter;
}
} // namespace

QKVFixtureDefinition::QKVFixtureDefinition(QObject* parent) : QObject(parent) { }

QKVFixtureDefinition::QKVFixtureDefinition(const QKVFixtureDefinition& other) : QObject(other.parent())
{
    *this = other;
}

QKVFixtureDefinition& QKVFixtureDefinition::operator=(const QKVFixtureDefinition& other)
{
    if (this == &other) {
        return *this;
    }
    m_name = other.m_name;
    m_shortName = other.m_shortName;
    m_autoShortName = other.m_autoShortName;
    m_manufacturer = other.m_manufacturer;
    m_manufacturerShort = other.m_manufacturerShort;
    m_autoManufacturerShort = other.m_autoManufacturerShort;
    m_type = other.m_type;
    m_listModel = other.m_listModel;
    m_listIndex = other.m_listIndex;
    copyChannelsFrom(other);
    return *this;
}

QKVFixtureDefinition::~QKVFixtureDefinition()
{
    qDeleteAll(m_channels);
}

void QKVFixtureDefinition::copyChannelsFrom(const QKVFixtureDefinition& other)
{
    QList<QKVFixtureChannel*> copies;
    copies.reserve(other.m_channels.size());
    for (const QKVFixtureChannel* channel : other.m_channels) {
        copies.append(new QKVFixtureChannel(*channel));
    }
    qDeleteAll(m_channels);
    m_channels = std::move(copies);
}

void QKVFixtureDefinition::store(QString& field, const QString& value, int column)
{
    field = value;
    if (!m_listModel || !m_listIndex.isValid()) {
        return;
    }
    const QModelIndex cell = m_listModel->index(m_listIndex.row(), column);
    if (cell.isValid()) {
        m_listModel->setData(cell, column == NameColumn ? m_name : m_manufacturer, Qt::EditRole);
    }
}

void QKVFixtureDefinition::appendChannel(QKVFixtureChannel* channel)
{
    m_channels.append(channel);
}

void QKVFixtureDefinition::clearChannels()
{
    qDeleteAll(m_channels);
    m_channels.clear();
}

QString QKVFixtureDefinition::displayName() const
{
    return m_name.isEmpty() ? m_shortName : m_name;
}

void QKVFixtureDefinition::applyAutoShortNames()
{
    if (m_autoShortName) {
        m_shortName = ShortNames::firstCharacters(m_name, ShortNames::FixtureLength);
    }
    if (m_autoManufacturerShort) {
        m_manufacturerShort = ShortNames::firstCharacters(m_manufacturer, ShortNames::FixtureLength);
    }
}

void QKVFixtureDefinition::deriveAutoFlags()
{
    if (m_shortName == ShortNames::firstCharacters(m_name, ShortNames::FixtureLength)) {
        m_autoShortName = true;
    }
    if (m_manufacturerShort == ShortNames::firstCharacters(m_manufacturer, ShortNames::FixtureLength)) {
        m_autoManufacturerShort = true;
    }
}

void QKVFixtureDefinition::clearErasedNames()
{
    if (startsErased(m_name)) {
        m_name.clear();
    }
    if (startsErased(m_manufacturer)) {
        m_manufacturer.clear();
    }
}

bool QKVFixtureDefinition::fromDeviceRecord(const QByteArray& record)
{
    using namespace DeviceRecord;
    if (record.size() < HeaderLength) {
        return false;
    }
    const int count = static_cast<unsigned char>(record.at(ChannelCountOffset));
    if (record.size() < usedLength(count)) {
        return false;
    }

    m_type = static_cast<unsigned char>(record.at(TypeOffset));
    m_name = readTextField(record, NameOffset, NameWidth);
    m_shortName = readTextField(record, ShortNameOffset, ShortNameWidth);
    m_manufacturer = readTextField(record, ManufacturerOffset, ManufacturerWidth);
    m_manufacturerShort = readTextField(record, ManufacturerShortOffset, ManufacturerShortWidth);
    m_autoShortName = false;
    m_autoManufacturerShort = false;

    clearChannels();
    for (int i = 0; i < count; ++i) {
        const int slot = HeaderLength + i * SlotLength;
        auto* channel = new QKVFixtureChannel;
        channel->setShortName(readTextField(record, slot + SlotShortNameOffset, SlotShortNameWidth));
        channel->setAutoShortName(false);
        channel->setName(readTextField(record, slot + SlotNameOffset, SlotNameWidth));
        channel->setNumber(i + 1);
        channel->clearErasedName();
        channel->deriveAutoFlag();
        m_channels.append(channel);
    }

    clearErasedNames();
    deriveAutoFlags();
    return true;
}

void QKVFixtureDefinition::setListPosition(QAbstractItemModel* model, const QModelIndex& index)
{
    m_listModel = model;
    m_listIndex = index;
}

void QKVFixtureDefinition::notifyChannelCountChanged()
{
    Q_EMIT nbrOfChannelChanged(m_listIndex);
}
