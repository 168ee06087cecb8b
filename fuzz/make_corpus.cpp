// Writes the starting inputs of every fuzz target into corpus/<target>/, made by the
// project's own writers so they are valid and reach deep into each parser:
//
//   cmake --build build-fuzz --target fuzz_make_corpus && build-fuzz/bin/fuzz_make_corpus .
//
// Files it did not write (regression-* inputs of past findings) stay untouched.

#include "DeviceRecord.h"
#include "FirmwareImageWriter.h"
#include "KVFLArchive.h"
#include "KVPFrame.h"
#include "QKVFixtureChannel.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionXMLExporter.h"
#include "SimDevice.h"
#include "SimProtocol.h"
#include "SimSampleRecords.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <vector>

using namespace korvane::KVP;

namespace {

/// The fixture XML target reads its first byte as the path choice: 2 runs both paths.
constexpr char BothPaths = 2;
/// The sim device target: its first byte chooses the device, its second raw or framed.
constexpr char DefaultDevice = 0x40; // 522-byte frames, 100 slots, no records, patch empty
constexpr char FullDevice = 0x76; // 100-byte frames, 3 slots, 3 records, patch empty
constexpr char Framed = 0;
constexpr char Raw = 1;
/// Chunk payload of a 522-byte frame, as KVPLink cuts a transfer.
constexpr int ChunkLength = 522 - int(Frame::Overhead);

QString corpusRoot;

void write(const char* target, const QString& name, const QByteArray& bytes)
{
    const QString dir = corpusRoot + QLatin1Char('/') + QLatin1String(target);
    QDir().mkpath(dir);
    QFile file(dir + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        std::exit(1);
    }
}

QByteArray fromVector(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

std::unique_ptr<QKVFixtureDefinition>
definition(const QString& name, const QString& manufacturer, int type, const QStringList& channels)
{
    auto result = std::make_unique<QKVFixtureDefinition>();
    result->setName(name);
    result->setManufacturer(manufacturer);
    result->setType(type);
    int number = 0;
    for (const QString& channelName : channels) {
        auto* channel = new QKVFixtureChannel;
        channel->setName(channelName);
        channel->setNumber(++number);
        result->appendChannel(channel);
    }
    return result;
}

std::vector<std::unique_ptr<QKVFixtureDefinition>> sampleDefinitions()
{
    std::vector<std::unique_ptr<QKVFixtureDefinition>> all;
    all.push_back(definition(QStringLiteral("Spot 250"),
                             QStringLiteral("Acme Lighting"),
                             FixtureType::MovingHead,
                             {QStringLiteral("Pan"),
                              QStringLiteral("Pan fine"),
                              QStringLiteral("Tilt"),
                              QStringLiteral("Tilt fine"),
                              QStringLiteral("Colour"),
                              QStringLiteral("Gobo"),
                              QStringLiteral("Shutter"),
                              QStringLiteral("Dimmer")}));
    all.push_back(definition(
        QStringLiteral("Dimmer"), QStringLiteral("Generic"), FixtureType::Dimmer, {QStringLiteral("Intensity")}));
    all.push_back(definition(
        QString::fromUtf8("Lumière Zoom Ω 18×10W 🎭"),
        QString::fromUtf8("Éclairage Größe Ünïcode 照明"),
        FixtureType::LedFixture,
        {QString::fromUtf8("Rouge"), QString::fromUtf8("Grün"), QString::fromUtf8("青"), QString::fromUtf8("Weiß")}));
    all.push_back(definition(QString(), QString(), FixtureType::Undefined, {QString()}));
    auto custom = definition(QStringLiteral("A very long fixture name that runs past the hundred characters of the "
                                            "device record field, on purpose, to the end"),
                             QStringLiteral("Hazer & Co <special> \"quoted\""),
                             FixtureType::Hazer,
                             {QStringLiteral("Output"), QStringLiteral("Fan")});
    custom->setShortName(QStringLiteral("Long one"));
    custom->setAutoShortName(false);
    custom->setManufacturerShort(QStringLiteral("H&C"));
    custom->setAutoManufacturerShort(false);
    custom->channels().first()->setShortName(QStringLiteral("Out"));
    custom->channels().first()->setAutoShortName(false);
    all.push_back(std::move(custom));
    QStringList many;
    for (int i = 1; i <= QKVFixtureDefinition::MaxChannels; ++i) {
        many << QStringLiteral("Pixel %1").arg(i);
    }
    all.push_back(definition(QStringLiteral("Batten 45"), QStringLiteral("Generic"), FixtureType::Effect, many));
    return all;
}

void fixtureXml(const QString& sourceDir, const std::vector<std::unique_ptr<QKVFixtureDefinition>>& definitions)
{
    const QFileInfoList files
        = QDir(sourceDir + QStringLiteral("/tests/data")).entryInfoList({QStringLiteral("*.xml")}, QDir::Files);
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            std::exit(1);
        }
        write("fuzz_fixture_xml", info.fileName(), BothPaths + file.readAll());
    }
    int index = 0;
    for (const auto& definition : definitions) {
        write("fuzz_fixture_xml",
              QStringLiteral("exported-%1.xml").arg(++index),
              BothPaths + QKVFixtureDefinitionXMLExporter::toXml(*definition));
    }
    // Forms this program never writes, which only the stream reader takes.
    write("fuzz_fixture_xml",
          QStringLiteral("personalities.xml"),
          BothPaths
              + QByteArray("<?xml version=\"1.0\"?>\n<KorvaneFixtureDefinition>\n"
                           "<Manufacturer Name=\"Ac&amp;me\" ShortName='A'/><Model Name=\"Wash &#x3A9;\"/>\n"
                           "<Type>Moving Head</Type><DMXChannel Name=\"Pan\" ShortName=\"P\"/>"
                           "<DMXChannel Name=\"Tilt\"/><DMXChannel Name=\"\"/>\n"
                           "<Personality Name=\"8 bit\"><DMXChannelRef Number=\"1\">Pan</DMXChannelRef>"
                           "<DMXChannelRef Number=\"2\">Tilt</DMXChannelRef></Personality>\n"
                           "<Personality Name=\"basic\"><DMXChannelRef Number=\"3\">Pan</DMXChannelRef>"
                           "</Personality><!-- note --><Unknown a=\"1\"><x/></Unknown>\n"
                           "<![CDATA[text]]></KorvaneFixtureDefinition>\n"));
    write("fuzz_fixture_xml",
          QStringLiteral("empty-names.xml"),
          BothPaths
              + QByteArray("<KorvaneFixtureDefinition><Manufacturer Name=\"\" ShortName=\"\"/>"
                           "<Model Name=\"\" ShortName=\"\"/><Type></Type><DMXChannel Name=\"\" ShortName=\"\"/>"
                           "</KorvaneFixtureDefinition>"));
}

/// QLC+ fixture files come from QLC+, not from this program: the test files are the corpus.
void qxf(const QString& sourceDir)
{
    const QFileInfoList files
        = QDir(sourceDir + QStringLiteral("/tests/data/qxf")).entryInfoList({QStringLiteral("*.qxf")}, QDir::Files);
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            std::exit(1);
        }
        write("fuzz_qxf", info.fileName(), file.readAll());
    }
}

QByteArray library(const QList<QKVFixtureDefinition*>& definitions)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    KVFLArchive archive;
    archive.setDefinitionsToSave(definitions);
    if (!archive.save(&buffer)) {
        std::exit(1);
    }
    return bytes;
}

void kvflArchive(const QString& sourceDir, const std::vector<std::unique_ptr<QKVFixtureDefinition>>& definitions)
{
    QList<QKVFixtureDefinition*> all;
    for (const auto& definition : definitions) {
        all.append(definition.get());
    }
    write("fuzz_kvfl_archive", QStringLiteral("empty.kvfl"), library({}));
    write("fuzz_kvfl_archive", QStringLiteral("one.kvfl"), library({all.first()}));
    write("fuzz_kvfl_archive", QStringLiteral("unicode.kvfl"), library({all.at(2), all.at(3)}));
    write("fuzz_kvfl_archive", QStringLiteral("all.kvfl"), library(all));
    // Equal names give members name, name_1, ...
    write("fuzz_kvfl_archive", QStringLiteral("same-names.kvfl"), library({all.at(1), all.at(1), all.at(1)}));
    for (const QString& name :
         {QStringLiteral("/tests/data/UnsupportedContent.kvfl"), QStringLiteral("/examples/demo.kvfl")}) {
        QFile file(sourceDir + name);
        if (!file.open(QIODevice::ReadOnly)) {
            std::exit(1);
        }
        write("fuzz_kvfl_archive", QFileInfo(name).fileName(), file.readAll());
    }
}

void kvu2()
{
    struct Layout
    {
        const char* name;
        QByteArray model;
        QList<int> sectors;
    };
    const Layout layouts[] = {
        {"qrd780-one-sector.kv2", "QRD-780", {256}},
        {"qrd780-three-sectors.kv2", "QRD-780", {256, 100, 512}},
        {"qrd540b-two-sectors.kv2", "QRD-540B", {300, 256}},
        {"no-sectors.kv2", "QRD-780", {}},
        {"eight-sectors.kv2", "QRD-540B", {1, 2, 3, 4, 5, 6, 7, 8}},
        {"other-model.kv2", "QRD-999", {256}},
    };
    for (const Layout& layout : layouts) {
        FirmwareImageWriter writer;
        writer.setModel(layout.model);
        writer.setOpaque(QByteArray::fromHex("0102030405"));
        writer.setNote("made for the fuzz corpus");
        int fill = 0;
        for (int size : layout.sectors) {
            writer.addSector(QByteArray(size, static_cast<char>(0x30 + fill++)));
        }
        const QByteArray file = writer.build();
        if (file.isEmpty()) {
            std::exit(1);
        }
        write("fuzz_kvu2", QLatin1String(layout.name), file);
        if (!layout.sectors.isEmpty() && layout.sectors.size() == 1) {
            write("fuzz_kvu2", QStringLiteral("truncated-") + QLatin1String(layout.name), file.left(file.size() - 7));
            QByteArray badChecksum = file;
            badChecksum[badChecksum.size() - 1] = static_cast<char>(badChecksum.at(badChecksum.size() - 1) ^ 0x5A);
            write("fuzz_kvu2", QStringLiteral("bad-checksum-") + QLatin1String(layout.name), badChecksum);
        }
    }
}

QByteArray frame(uint8_t type,
                 uint8_t command,
                 uint16_t parameter,
                 const QByteArray& payload = {},
                 uint8_t flags = Frame::FlagFirst | Frame::FlagLast,
                 bool fromDevice = false,
                 uint8_t sequence = 0)
{
    FrameHeader header;
    header.flags = flags;
    header.type = type;
    header.command = command;
    header.parameter = parameter;
    header.sequence = sequence;
    if (fromDevice) {
        header.source = Frame::DeviceAddress;
        header.destination = Frame::HostAddress;
    }
    return fromVector(encodeFrame(
        header, reinterpret_cast<const uint8_t*>(payload.constData()), static_cast<uint16_t>(payload.size())));
}

QByteArray capacity(uint16_t bytes)
{
    return QByteArray(1, static_cast<char>(bytes & 0xFF)) + static_cast<char>(bytes >> 8);
}

void frameDecoder(const QByteArray& record)
{
    const uint8_t status[] = {0, sim::Refusal::UnknownRecord};
    QByteArray identity(50, '\0');
    identity.replace(6, 7, "QRD-780");
    identity[46] = static_cast<char>(522 & 0xFF);
    identity[47] = static_cast<char>(522 >> 8);
    const QByteArray list = QByteArray::fromHex("0100") + record.left(DeviceRecord::HeaderLength);
    const uint8_t commands[] = {Command::Identify,
                                Command::FirmwareHeader,
                                Command::FirmwareSector,
                                Command::FixtureList,
                                Command::FixtureRecord,
                                Command::FixtureDelete,
                                Command::MemoryState,
                                Command::ClearPatch};
    QByteArray requests;
    for (uint8_t command : commands) {
        requests += frame(Frame::Request, command, command == Command::FixtureRecord ? 3 : 0);
    }
    write("fuzz_frame_decoder", QStringLiteral("host-requests"), capacity(522) + requests);
    write("fuzz_frame_decoder",
          QStringLiteral("identity-reply"),
          capacity(64) + frame(Frame::DataReply, Command::Identify, 0, identity, 0x0C, true));
    write("fuzz_frame_decoder",
          QStringLiteral("status-replies"),
          capacity(522)
              + frame(Frame::StatusReply, Command::FixtureRecord, 0, QByteArray(1, char(status[0])), 0x0C, true)
              + frame(Frame::StatusReply, Command::FixtureDelete, 7, QByteArray(1, char(status[1])), 0x0C, true));
    write("fuzz_frame_decoder",
          QStringLiteral("list-reply"),
          capacity(522) + frame(Frame::DataReply, Command::FixtureList, 0, list, 0x0C, true));
    write("fuzz_frame_decoder",
          QStringLiteral("memory-state-reply"),
          capacity(522) + frame(Frame::DataReply, Command::MemoryState, 0, QByteArray::fromHex("6301"), 0x0C, true));
    // A record read in pieces, with line noise and a break byte before and between.
    QByteArray pieces = QByteArray::fromHex("00ff55aa13");
    for (int offset = 0, i = 0; offset < 1200; offset += ChunkLength, ++i) {
        const uint8_t flags
            = (offset == 0 ? Frame::FlagFirst : 0) | (offset + ChunkLength >= 1200 ? Frame::FlagLast : 0);
        pieces += frame(Frame::DataReply,
                        Command::FixtureRecord,
                        3,
                        record.mid(offset, ChunkLength),
                        flags,
                        true,
                        static_cast<uint8_t>(i));
        pieces += QByteArray::fromHex("cc00aa");
    }
    write("fuzz_frame_decoder", QStringLiteral("record-pieces-noise"), capacity(522) + pieces);
    // Data out chunks of an upload; the receive buffer too small for them.
    write("fuzz_frame_decoder",
          QStringLiteral("upload-chunks-small-buffer"),
          capacity(20) + frame(Frame::DataOut, Command::FixtureRecord, 0, record.left(ChunkLength), Frame::FlagFirst)
              + frame(Frame::DataOut, Command::FixtureRecord, 0, record.mid(ChunkLength, 40), Frame::FlagLast));
    write("fuzz_frame_decoder",
          QStringLiteral("empty-payload-tiny-buffer"),
          capacity(3) + frame(Frame::DataReply, Command::FixtureDelete, 1, {}, 0x0C, true));
}

void deviceRecord(const std::vector<std::unique_ptr<QKVFixtureDefinition>>& definitions)
{
    QByteArray list = QByteArray::fromHex("0000");
    write("fuzz_device_record", QStringLiteral("empty-list"), list);
    int count = 0;
    for (const auto& source : definitions) {
        QKVFixtureDefinition copy(*source);
        QByteArray record = DeviceRecord::buildRecord(copy);
        record[DeviceRecord::RecordNumberOffset] = static_cast<char>(count);
        ++count;
        // A device sends only the used slots.
        const int used = DeviceRecord::usedLength(copy.channelCount());
        write("fuzz_device_record", QStringLiteral("record-%1").arg(count), record.left(used));
        list += record.left(DeviceRecord::HeaderLength);
    }
    list[0] = static_cast<char>(count);
    write("fuzz_device_record", QStringLiteral("list-%1-entries").arg(count), list);
    write("fuzz_device_record", QStringLiteral("sample-record"), fromVector(sim::makeSampleRecord(1)));
    QByteArray erased(DeviceRecord::usedLength(2), static_cast<char>(0xFF));
    erased[DeviceRecord::ChannelCountOffset] = 2;
    write("fuzz_device_record", QStringLiteral("erased-names"), erased);
}

/// One frame description for the sim device target: flags, type, command, parameter,
/// payload length, payload.
QByteArray hostFrame(uint8_t type,
                     uint8_t command,
                     uint16_t parameter,
                     const QByteArray& payload = {},
                     uint8_t flags = Frame::FlagFirst | Frame::FlagLast)
{
    QByteArray description;
    description += static_cast<char>(flags);
    description += static_cast<char>(type);
    description += static_cast<char>(command);
    description += static_cast<char>(parameter & 0xFF);
    description += static_cast<char>(parameter >> 8);
    description += static_cast<char>(payload.size() & 0xFF);
    description += static_cast<char>(payload.size() >> 8);
    return description + payload;
}

QByteArray chunked(uint8_t command, uint16_t parameter, const QByteArray& data)
{
    QByteArray frames;
    for (int offset = 0; offset < data.size() || offset == 0; offset += ChunkLength) {
        const uint8_t flags
            = (offset == 0 ? Frame::FlagFirst : 0) | (offset + ChunkLength >= data.size() ? Frame::FlagLast : 0);
        frames += hostFrame(Frame::DataOut, command, parameter, data.mid(offset, ChunkLength), flags);
    }
    return frames;
}

void simDevice(const QByteArray& record)
{
    const char* target = "fuzz_sim_device";
    const QByteArray identify = hostFrame(Frame::Request, Command::Identify, 0);
    const QByteArray head = QByteArray(1, DefaultDevice) + Framed;
    write(target, QStringLiteral("identify"), head + identify);
    write(target, QStringLiteral("memory-state"), head + hostFrame(Frame::Request, Command::MemoryState, 0));
    QByteArray list = QByteArray(1, FullDevice) + Framed + hostFrame(Frame::Request, Command::FixtureList, 0);
    for (int i = 0; i < 10; ++i) {
        list += hostFrame(Frame::Request, Command::FixtureList, 0, {}, 0);
    }
    write(target, QStringLiteral("list-in-pieces"), list);
    QByteArray read = QByteArray(1, FullDevice) + Framed + hostFrame(Frame::Request, Command::FixtureRecord, 1);
    for (int i = 0; i < 60; ++i) {
        read += hostFrame(Frame::Request, Command::FixtureRecord, 1, {}, 0);
    }
    write(target, QStringLiteral("read-record"), read);
    write(target,
          QStringLiteral("write-record"),
          head + identify + hostFrame(Frame::Request, Command::MemoryState, 0)
              + hostFrame(Frame::DataOut, Command::ClearPatch, 0) + chunked(Command::FixtureRecord, 0, record)
              + hostFrame(Frame::Request, Command::FixtureList, 0));
    write(target,
          QStringLiteral("delete-and-clear"),
          QByteArray(1, FullDevice) + Framed + hostFrame(Frame::Request, Command::FixtureDelete, 2)
              + hostFrame(Frame::Request, Command::FixtureDelete, 200)
              + hostFrame(Frame::DataOut, Command::ClearPatch, 0));
    FirmwareImageWriter writer;
    writer.setModel("QRD-780");
    writer.addSector(QByteArray(600, 'x'));
    writer.addSector(QByteArray(256, 'y'));
    const QByteArray firmware = writer.build();
    const int head256 = FirmwareImageWriter::HeadSize;
    write(target,
          QStringLiteral("firmware-update"),
          head + chunked(Command::FirmwareHeader, 0, firmware.left(256))
              + chunked(Command::FirmwareSector, 0, firmware.mid(head256, 768))
              + chunked(Command::FirmwareSector, 1, firmware.mid(head256 + 768, 256)));
    // The same host talk as raw line bytes: a break, encoded frames, one with a bad checksum.
    QByteArray raw = QByteArray(1, DefaultDevice) + Raw + QByteArray::fromHex("00");
    raw += frame(Frame::Request, Command::Identify, 0);
    QByteArray bad = frame(Frame::Request, Command::MemoryState, 0);
    bad[Frame::HeaderChecksumOffset] = static_cast<char>(bad.at(Frame::HeaderChecksumOffset) + 1);
    raw += bad + frame(Frame::Request, Command::FixtureList, 0) + frame(Frame::DataOut, Command::ClearPatch, 0);
    write(target, QStringLiteral("raw-frames"), raw);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s SOURCE-DIR\n", argv[0]);
        return 64;
    }
    const QString sourceDir = QFile::decodeName(argv[1]);
    corpusRoot = sourceDir + QStringLiteral("/fuzz/corpus");

    const auto definitions = sampleDefinitions();
    fixtureXml(sourceDir, definitions);
    kvflArchive(sourceDir, definitions);
    qxf(sourceDir);
    kvu2();
    QKVFixtureDefinition spot(*definitions.front());
    const QByteArray record = DeviceRecord::buildRecord(spot);
    frameDecoder(record);
    deviceRecord(definitions);
    simDevice(record);
    return 0;
}
