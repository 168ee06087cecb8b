#pragma once

#include <QByteArrayView>

class QKVFixtureXMLContentHandler;

/// A fast tokenizer for fixture documents in the form this program writes: UTF-8 with
/// the standard declaration, elements, the known attributes, text and the predefined
/// and numeric character references. It checks well-formedness as it goes and feeds
/// the handler exactly the events a full XML reader would.
///
/// Anything outside that form (comments, a DOCTYPE, another encoding, unknown
/// attributes, line ends to normalise, any doubt about well-formedness) makes it give
/// up; the caller then starts again with a fresh handler and the full reader. Up to
/// the point where it gives up, the events it fed were the full reader's too.
namespace FixtureXmlScanner {

enum class Result {
    Completed, ///< the whole document was read
    Stopped, ///< the handler stopped the parse; the events so far are final
    GaveUp, ///< the document needs the full reader; discard the handler's state
};

Result scan(QByteArrayView document, QKVFixtureXMLContentHandler& handler, int maxDepth);

} // namespace FixtureXmlScanner
