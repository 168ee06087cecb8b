#pragma once

#include "DeviceRecordLayout.h"

#include <QList>
#include <QString>

class QKVFixtureDefinition;

/// What the devices will refuse or change about one definition when it is uploaded:
/// the rules of the fixed record (DeviceRecordLayout.h) seen from the user's side.
/// The record cuts texts to their field width, turns characters outside Latin-1 into
/// "?", and puts each channel into the slot of its number; the device shows the slots
/// 1 to the channel count in order.
namespace DeviceFit {

/// An upload needs at least one channel.
constexpr int MinChannels = 1;

/// Ordered: a definition is as bad as its worst finding.
enum class Severity { Fine, Changed, Refused };

/// One thing the device will refuse or change. `field` is the editor label of the field
/// concerned ("Fixture Name", "Channel 3 Name Short", "Channels"); `text` is a whole
/// sentence for a tooltip or a list, naming the field and what the device will show.
struct Finding
{
    Severity severity;
    QString field;
    QString text;
};

/// The upload rule for the channel count: 1 to DeviceRecord::MaxChannels. Every check
/// of it, before an upload or in the editor, asks here.
constexpr bool channelCountAccepted(int count)
{
    return count >= MinChannels && count <= DeviceRecord::MaxChannels;
}

/// Every finding for `definition`, in the order of the editor's fields; empty when the
/// device will hold the definition exactly. Does not change the definition (auto short
/// names are judged as the record would hold them) and allocates nothing when the list
/// is empty.
QList<Finding> check(const QKVFixtureDefinition& definition);

/// The severity `check` would give, without building any text: for sorting and filtering
/// by fit. It reads every channel name, about as much as any pass over a whole library.
Severity worstOf(const QKVFixtureDefinition& definition);

/// The worst severity among `findings`; Fine for none.
Severity worst(const QList<Finding>& findings);

/// The findings' texts, one a line, for a tooltip or a summary.
QString describe(const QList<Finding>& findings);

} // namespace DeviceFit
