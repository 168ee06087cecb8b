#include "SimDeviceConfig.h"

#include <cerrno>
#include <cstdlib>
#include <optional>

namespace korvane::KVP::sim {

namespace {

constexpr unsigned long MaxLatencyMs = 10000;
constexpr unsigned long MaxLateMs = 60000;
constexpr unsigned long MaxFrameNumber = 0xFFFFFFFFul;

/// Splits at `separator` outside double quotes.
std::vector<std::string_view> splitOutsideQuotes(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    bool quoted = false;
    size_t begin = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            quoted = !quoted;
        } else if (text[i] == separator && !quoted) {
            parts.push_back(text.substr(begin, i - begin));
            begin = i + 1;
        }
    }
    parts.push_back(text.substr(begin));
    return parts;
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view unquoted(std::string_view text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

/// A whole decimal or 0x-prefixed number within `max`.
std::optional<unsigned long> number(std::string_view text, unsigned long max)
{
    std::string digits(text);
    if (digits.empty() || digits[0] == '-' || digits[0] == '+') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(digits.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value > max) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> flag(std::string_view text)
{
    if (text == "1" || text == "yes" || text == "true") {
        return true;
    }
    if (text == "0" || text == "no" || text == "false") {
        return false;
    }
    return std::nullopt;
}

/// A fault's place: a frame number from 1, and the value after a colon, if any.
struct FaultAt
{
    uint32_t frame = 0;
    std::optional<unsigned long> value;
};

/// "N" or "N:V" with V from 1 to `maxValue`.
std::optional<FaultAt> faultAt(std::string_view text, unsigned long maxValue)
{
    const size_t colon = text.find(':');
    const auto frame = number(text.substr(0, colon), MaxFrameNumber);
    if (!frame || *frame == 0) {
        return std::nullopt;
    }
    FaultAt at {static_cast<uint32_t>(*frame), std::nullopt};
    if (colon != std::string_view::npos) {
        at.value = number(text.substr(colon + 1), maxValue);
        if (!at.value || *at.value == 0) {
            return std::nullopt;
        }
    }
    return at;
}

bool applyFault(std::string_view key, std::string_view value, SimFaults& faults)
{
    if (key == "silent" || key == "nolastack") {
        const auto on = flag(value);
        if (on && key == "silent") {
            faults.silentFrom = *on ? 1 : 0;
        } else if (on) {
            faults.dropLastFirmwareAck = *on;
        }
        return on.has_value();
    }
    if (key == "silentfrom" || key == "corrupt" || key == "vanish") {
        const auto at = faultAt(value, 0);
        if (!at || at->value) {
            return false;
        }
        (key == "silentfrom" ? faults.silentFrom : key == "corrupt" ? faults.corruptAt : faults.vanishAt) = at->frame;
        return true;
    }
    if (key == "refuse" || key == "drop") {
        const bool refuse = key == "refuse";
        const auto at = faultAt(value, refuse ? 0xFF : 0xFFFF);
        if (!at) {
            return false;
        }
        (refuse ? faults.refuseAt : faults.dropAt) = at->frame;
        if (refuse) {
            faults.refuseCode = static_cast<uint8_t>(at->value.value_or(faults.refuseCode));
        } else {
            faults.dropCount = static_cast<uint32_t>(at->value.value_or(faults.dropCount));
        }
        return true;
    }
    if (key == "late") {
        const auto at = faultAt(value, MaxLateMs);
        if (!at || !at->value) {
            return false;
        }
        faults.lateAt = at->frame;
        faults.lateBy = std::chrono::milliseconds(*at->value);
        return true;
    }
    return false;
}

bool applySetting(std::string_view key,
                  std::string_view value,
                  SimDeviceConfig& config,
                  std::optional<unsigned>& freeSlots)
{
    if (key == "model") {
        config.model = std::string(value);
        return !value.empty() && value.size() <= MaxModelLength;
    }
    if (key == "desc") {
        config.description = std::string(value);
        return value.size() <= MaxDescriptionLength;
    }
    if (key == "hw" || key == "fw" || key == "frame") {
        const auto n = number(value, 0xFFFF);
        (key == "hw"       ? config.hardwareVersion
             : key == "fw" ? config.firmwareVersion
                           : config.frameSize)
            = static_cast<uint16_t>(n.value_or(0));
        return n.has_value();
    }
    if (key == "slots" || key == "records" || key == "free") {
        const auto n = number(value, MaxSlots);
        if (n && key == "free") {
            freeSlots = static_cast<unsigned>(*n);
        } else if (n) {
            (key == "slots" ? config.slotCount : config.records) = static_cast<unsigned>(*n);
        }
        return n.has_value();
    }
    if (key == "patch" || key == "wire") {
        const auto on = flag(value);
        if (on && key == "patch") {
            config.patchEmpty = !*on; // the setting names the unusual case, entries present
        } else if (on) {
            config.wire = *on;
        }
        return on.has_value();
    }
    if (key == "latency") {
        const auto ms = number(value, MaxLatencyMs);
        config.latency = std::chrono::milliseconds(ms.value_or(0));
        return ms.has_value();
    }
    return applyFault(key, value, config.faults);
}

} // namespace

bool parseSimDeviceConfig(std::string_view text, SimDeviceConfig& config, std::string& error)
{
    std::optional<unsigned> freeSlots;
    for (std::string_view item : splitOutsideQuotes(text, ',')) {
        item = trimmed(item);
        if (item.empty()) {
            continue;
        }
        const size_t equals = item.find('=');
        if (equals == std::string_view::npos) {
            error = "expected key=value: '" + std::string(item) + "'";
            return false;
        }
        const std::string_view key = trimmed(item.substr(0, equals));
        const std::string_view value = unquoted(trimmed(item.substr(equals + 1)));
        if (!applySetting(key, value, config, freeSlots)) {
            error = "bad setting '" + std::string(item) + "'";
            return false;
        }
    }
    if (freeSlots) {
        config.slotCount = config.records + *freeSlots;
    }
    if (config.slotCount > MaxSlots || config.records > config.slotCount) {
        error = "records and free slots must fit into " + std::to_string(MaxSlots) + " slots";
        return false;
    }
    return true;
}

bool parseSimDeviceList(std::string_view text, std::vector<SimDeviceConfig>& devices, std::string& error)
{
    devices.clear();
    for (std::string_view entry : splitOutsideQuotes(text, ';')) {
        if (trimmed(entry).empty()) {
            continue;
        }
        SimDeviceConfig config;
        if (!parseSimDeviceConfig(entry, config, error)) {
            error = "device " + std::to_string(devices.size()) + ": " + error;
            return false;
        }
        devices.push_back(std::move(config));
    }
    return true;
}

const char* simDeviceConfigUsage()
{
    return "  model=NAME      model name in the identity (QRD-780; QRD-540B)\n"
           "  fw=N, hw=N      firmware and hardware versions (0x0102, 0x0001)\n"
           "  desc=TEXT       USB description (\"KORVANE KVP-DEV\"); quotes allow , and ;\n"
           "  frame=N         largest frame in bytes (522)\n"
           "  slots=N         storage slots in all, at most 255 (100)\n"
           "  records=N       slots filled with sample definitions at start (0)\n"
           "  free=N          free slots: slots = records + N\n"
           "  patch=1         the patch list holds entries (0: empty)\n"
           "  wire=1          every byte takes 44 us each way (0)\n"
           "  latency=MS      USB latency added to every reply (0)\n"
           "  silent=1        never replies; silentfrom=N: no reply from frame N on\n"
           "  refuse=N[:C]    refuses frame N with code C (0x20)\n"
           "  corrupt=N       flips a byte in the middle of the reply to frame N\n"
           "  drop=N[:K]      the reply to frame N loses its last K bytes (1)\n"
           "  late=N:MS       the reply to frame N comes MS later\n"
           "  vanish=N        the device is unplugged when frame N arrives\n"
           "  nolastack=1     no reply to the final frame of a firmware update\n"
           "Numbers are decimal or 0x-hex; frames are counted from 1 over the device's life.\n";
}

} // namespace korvane::KVP::sim
