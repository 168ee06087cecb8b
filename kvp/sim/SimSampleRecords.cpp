#include "SimSampleRecords.h"

#include "SimProtocol.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace korvane::KVP::sim {

namespace {

constexpr const char* Manufacturer = "Generic";

struct SampleFixture
{
    const char* name;
    const char* shortName;
    uint8_t type; ///< 0 moving head, 1 scanner, 2 LED, 4 dimmer, 6 strobe, 8 smoke, 10 other
    /// "Name:Short" per channel, comma-separated, in channel order.
    const char* channels;
};

constexpr SampleFixture Catalogue[] = {
    {"Dimmer Pack 1ch", "Dimmer 1ch", 4, "Intensity:Int"},
    {"LED PAR 64 RGB", "PAR64 RGB", 2, "Red:Red,Green:Green,Blue:Blue"},
    {"LED PAR 64 RGBW", "PAR64 RGBW", 2, "Dimmer:Dim,Red:Red,Green:Green,Blue:Blue,White:White,Strobe:Strb"},
    {"Fog Machine 1500W", "Fog 1500", 8, "Fog Output:Fog,Fan Speed:Fan"},
    {"Strobe 1500", "Strobe 1500", 6, "Rate:Rate,Intensity:Int"},
    {"Scanner 250", "Scanner 250", 1, "Pan:Pan,Tilt:Tilt,Color Wheel:Color,Gobo Wheel:Gobo,Shutter:Shut,Dimmer:Dim"},
    {"LED Bar 8x3W RGB",
     "Bar 8x3",
     2,
     "Red:Red,Green:Green,Blue:Blue,Dimmer:Dim,Strobe:Strb,Macro:Macro,Macro Speed:MacSpd,Sound Mode:Sound"},
    {"Moving Head Spot 575",
     "Spot 575",
     0,
     "Pan:Pan,Pan Fine:PanF,Tilt:Tilt,Tilt Fine:TiltF,Pan/Tilt Speed:PTSpd,Color Wheel:Color,Gobo Wheel 1:Gobo1,"
     "Gobo Rotation:GoboRot,Gobo Wheel 2:Gobo2,Prism:Prism,Focus:Focus,Shutter:Shut,Dimmer:Dim,Control:Ctrl"},
    {"Moving Head Wash 36x3W",
     "Wash 36x3",
     0,
     "Pan:Pan,Pan Fine:PanF,Tilt:Tilt,Tilt Fine:TiltF,Speed:Speed,Dimmer:Dim,Strobe:Strb,Red:Red,Green:Green,"
     "Blue:Blue,White:White,Color Temp:CTemp,Zoom:Zoom,Macro:Macro,Reset:Reset"},
    {"Moving Head Beam 7R",
     "Beam 7R",
     0,
     "Color Wheel:Color,Strobe:Strb,Dimmer:Dim,Gobo Wheel:Gobo,Prism:Prism,Prism Rotation:PrRot,Frost:Frost,"
     "Focus:Focus,Pan:Pan,Pan Fine:PanF,Tilt:Tilt,Tilt Fine:TiltF,Speed:Speed,Control:Ctrl,Macro:Macro,Zoom:Zoom"},
    {"Pixel Batten 24",
     "Batten 24",
     2,
     "Dimmer:Dim,Strobe:Strb,Mode:Mode,Speed:Speed,Red 1:R1,Green 1:G1,Blue 1:B1,Red 2:R2,Green 2:G2,Blue 2:B2,"
     "Red 3:R3,Green 3:G3,Blue 3:B3,Red 4:R4,Green 4:G4,Blue 4:B4,Red 5:R5,Green 5:G5,Blue 5:B5,Red 6:R6,"
     "Green 6:G6,Blue 6:B6,White:White,Reset:Reset"},
    {"UV Blacklight Bar", "UV Bar", 10, "UV:UV,Strobe:Strb,Dimmer:Dim"},
};

constexpr size_t CatalogueSize = sizeof Catalogue / sizeof Catalogue[0];

/// Writes text into a fixed-width field: cut to the width, a zero after it when room.
void putText(std::vector<uint8_t>& record, size_t offset, size_t width, const std::string& text)
{
    const size_t length = std::min(text.size(), width);
    std::memcpy(record.data() + offset, text.data(), length);
    if (length < width) {
        record[offset + length] = 0;
    }
}

} // namespace

std::vector<uint8_t> makeSampleRecord(unsigned index)
{
    const SampleFixture& fixture = Catalogue[index % CatalogueSize];
    const unsigned round = static_cast<unsigned>(index / CatalogueSize);
    const std::string suffix = round == 0 ? std::string() : " #" + std::to_string(round + 1);

    std::vector<uint8_t> record(Record::Length, 0);
    putText(record, Record::NameOffset, Record::NameLength, fixture.name + suffix);
    putText(record, Record::ShortNameOffset, Record::ShortNameLength, fixture.shortName + suffix);
    putText(record, Record::ManufacturerOffset, Record::ManufacturerLength, Manufacturer);
    putText(record, Record::ManufacturerShortOffset, Record::ManufacturerShortLength, Manufacturer);
    record[Record::TypeOffset] = fixture.type;

    const std::string channels = fixture.channels;
    size_t count = 0;
    for (size_t begin = 0; begin < channels.size(); ++count) {
        const size_t end = std::min(channels.find(',', begin), channels.size());
        const std::string channel = channels.substr(begin, end - begin);
        const size_t colon = channel.find(':');
        const size_t slot = Record::HeaderLength + count * Record::ChannelSlotLength;
        putText(record, slot + Record::ChannelNameOffset, Record::ChannelNameLength, channel.substr(0, colon));
        putText(record, slot, Record::ChannelShortNameLength, channel.substr(colon + 1));
        begin = end + 1;
    }
    record[Record::ChannelCountOffset] = static_cast<uint8_t>(count);
    return record;
}

} // namespace korvane::KVP::sim
