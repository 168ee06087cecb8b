#include "FixtureCatalogue.h"

#include "QxfReader.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSemaphore>
#include <QSet>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <numeric>
#include <vector>

namespace {

/// Threads reading files per core.
constexpr int ReadAhead = 3;

/// Lower case without accents, so "lumiere" finds "Lumière" and the reverse.
QString searchText(const QString& text)
{
    QString folded = text.toLower();
    for (QChar& c : folded) {
        if (c.unicode() >= 0x80 && c.decompositionTag() == QChar::Canonical) {
            c = c.decomposition().at(0);
        }
    }
    return folded;
}

/// Every fixture file below the folders, each once even when the folders overlap.
QStringList fixtureFiles(const QStringList& folders)
{
    QStringList paths;
    QSet<QString> seen;
    for (const QString& folder : folders) {
        const QString root = QFileInfo(folder).canonicalFilePath();
        if (root.isEmpty()) {
            continue;
        }
        QDirIterator it(root, {QStringLiteral("*.qxf")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!seen.contains(path)) {
                seen.insert(path);
                paths.append(path);
            }
        }
    }
    return paths;
}

} // namespace

QStringList FixtureCatalogue::standardFolders()
{
    // QLC+ installs its fixtures under the system prefix; users keep their own in their
    // home folder, spelled either way by different QLC+ versions.
    const QStringList candidates {QStringLiteral("/usr/share/qlcplus/fixtures"),
                                  QStringLiteral("/usr/local/share/qlcplus/fixtures"),
                                  QDir::homePath() + QStringLiteral("/.qlcplus/fixtures"),
                                  QDir::homePath() + QStringLiteral("/.qlcplus/Fixtures")};
    QStringList existing;
    for (const QString& folder : candidates) {
        if (QFileInfo(folder).isDir()) {
            existing.append(folder);
        }
    }
    return existing;
}

void FixtureCatalogue::index(const QStringList& folders, const std::atomic_bool* cancel)
{
    m_modes.clear();
    m_searchKeys.clear();
    m_failed.clear();
    m_folders.clear();
    m_fileCount = 0;
    m_fixtureCount = 0;

    const QStringList paths = fixtureFiles(folders);
    auto cancelled = [cancel] { return cancel && cancel->load(); };
    // Each file is read into plain values on a pool of its own (index() may itself run on
    // the global pool); nothing shared is touched there. More threads wait for the disk
    // than there are cores, so a cold cache is read ahead, while only as many files as
    // there are cores are parsed at a time.
    const int cores = QThread::idealThreadCount();
    QThreadPool pool;
    pool.setMaxThreadCount(cores * ReadAhead);
    QSemaphore parsing(cores);
    const QList<QxfFile> files = QtConcurrent::blockingMapped<QList<QxfFile>>(&pool, paths, [&](const QString& path) {
        QxfFile file;
        QByteArray bytes;
        file.path = path;
        if (cancelled() || !QxfReader::readFileBytes(path, bytes, file.error)) {
            return file;
        }
        parsing.acquire();
        const QSemaphoreReleaser release(parsing);
        return QxfReader::readBytes(bytes, path);
    });
    if (cancelled()) {
        return;
    }

    QList<QxfMode> modes;
    for (const QxfFile& file : files) {
        if (file.ok()) {
            ++m_fixtureCount;
            modes.append(file.modes);
        } else {
            m_failed.append(file);
        }
    }
    m_fileCount = static_cast<int>(files.size());
    m_folders = folders;

    struct Key
    {
        QString manufacturer, model, mode;
    };
    std::vector<Key> keys;
    keys.reserve(static_cast<size_t>(modes.size()));
    for (const QxfMode& mode : std::as_const(modes)) {
        keys.push_back({searchText(mode.manufacturer), searchText(mode.model), searchText(mode.mode)});
    }
    std::vector<qsizetype> order(static_cast<size_t>(modes.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const Key& x = keys[static_cast<size_t>(a)];
        const Key& y = keys[static_cast<size_t>(b)];
        if (int c = x.manufacturer.compare(y.manufacturer)) {
            return c < 0;
        }
        if (int c = x.model.compare(y.model)) {
            return c < 0;
        }
        if (int c = x.mode.compare(y.mode)) {
            return c < 0;
        }
        return modes.at(a).file < modes.at(b).file; // equal modes of one file keep their order
    });
    m_modes.reserve(modes.size());
    m_searchKeys.reserve(modes.size());
    for (qsizetype i : order) {
        const Key& key = keys[static_cast<size_t>(i)];
        m_searchKeys.append(key.manufacturer + '\n' + key.model + '\n' + key.mode);
        m_modes.append(std::move(modes[i]));
    }
}

QList<int> FixtureCatalogue::search(const QString& words) const
{
    const QStringList parts = searchText(words).simplified().split(' ', Qt::SkipEmptyParts);
    QList<int> found;
    for (qsizetype i = 0; i < m_searchKeys.size(); ++i) {
        const QString& key = m_searchKeys.at(i);
        if (std::all_of(parts.begin(), parts.end(), [&key](const QString& part) { return key.contains(part); })) {
            found.append(static_cast<int>(i));
        }
    }
    return found;
}
