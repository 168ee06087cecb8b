#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QKVFixtureDefinition;

/// A library as the tool holds it in memory: its definitions, owned, in library order,
/// and what the file said about itself when it was read.
struct LibraryContent
{
    LibraryContent();
    ~LibraryContent();

    LibraryContent(const LibraryContent&) = delete;
    LibraryContent& operator=(const LibraryContent&) = delete;

    /// Content of the version member; empty for a library not read from a file.
    QString version;
    /// Whether the file held content the reader drops (it would be lost on saving).
    bool unsupportedContent = false;
    std::vector<std::unique_ptr<QKVFixtureDefinition>> definitions;

    /// The definitions in order, still owned here; the form KVFLArchive saves from.
    QList<QKVFixtureDefinition*> definitionList() const;
    /// The definitions a command's --name options pick: every definition whose name is one
    /// of `names`, in library order, or all of them when `names` is empty. A name no
    /// definition has goes to `unknown`, so that a typing mistake never passes as a
    /// definition left out.
    QList<QKVFixtureDefinition*> named(const QStringList& names, QStringList& unknown) const;
};
