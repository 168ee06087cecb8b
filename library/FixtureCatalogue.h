#pragma once

#include "QxfFixture.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

/// Every QLC+ fixture file found in a set of folders, read into modes and searchable.
/// index() blocks and reads the files on the worker pool; run it off the GUI thread.
class FixtureCatalogue
{
public:
    /// QLC+'s system folders and the user's own fixture folders, those that exist.
    static QStringList standardFolders();

    /// Reads every .qxf file below `folders` (recursively), replacing what was indexed
    /// before. Stops early, leaving the catalogue empty, when `cancel` becomes true.
    void index(const QStringList& folders, const std::atomic_bool* cancel = nullptr);

    /// Every mode, ordered by manufacturer, model and mode (case-insensitive).
    const QList<QxfMode>& modes() const { return m_modes; }
    /// The files that could not be read, with their errors.
    const QList<QxfFile>& failedFiles() const { return m_failed; }
    int fileCount() const { return m_fileCount; }
    int fixtureCount() const { return m_fixtureCount; }
    const QStringList& folders() const { return m_folders; }

    /// Indexes into modes() of the modes whose manufacturer, model or mode contain every
    /// blank-separated word of `words`, in any order, ignoring case. Empty words match all.
    QList<int> search(const QString& words) const;

private:
    QList<QxfMode> m_modes;
    QStringList m_searchKeys; ///< per mode: manufacturer, model and mode, folded for search
    QList<QxfFile> m_failed;
    QStringList m_folders;
    int m_fileCount = 0;
    int m_fixtureCount = 0;
};
