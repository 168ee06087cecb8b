#pragma once

#include <QByteArray>

/// A shortcut through QLC+ fixture files. More than half of a file is the capability
/// lists of its channels (what each DMX value range does), of which nothing reaches the
/// device; parsing that markup is most of the time a catalogue takes to read.
namespace QxfSkim {

/// `bytes` with the body of each fixture channel that holds a capability list replaced by
/// the line ends it contained, so the lines of later errors stay right. Only the end of
/// each such body is looked for; its markup is not checked. Documents where a plain
/// byte scan could mistake text for a tag (comments, CDATA, processing instructions,
/// entity declarations) and channels that hold anything unusual are left as they are.
QByteArray withoutCapabilityLists(const QByteArray& bytes);

} // namespace QxfSkim
