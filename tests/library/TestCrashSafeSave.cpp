#include "KVFLArchive.h"
#include "QKVFixtureDefinition.h"
#include "QKVFixtureDefinitionLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <chrono>
#include <thread>

namespace {

// Kill points spread from the start of the save to a quarter beyond its measured end, so
// that some fall before the new file replaces the old one, some around it, and some after.
constexpr int KillPoints = 40;
constexpr double KillSpan = 1.25;
// Definitions in each library: enough that a save takes a few hundred milliseconds in a
// sanitizer build, so the kill points land inside the writing and not only around it.
constexpr int OldCount = 600;
constexpr int NewCount = 613;
constexpr int HelperTimeoutMs = 60000;

/// What tells the old library from the new one: the number of definitions and their names.
struct Fingerprint
{
    qsizetype count = -1;
    QStringList names;
    bool operator==(const Fingerprint& o) const { return count == o.count && names == o.names; }
};

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

ino_t inodeOf(const QString& path)
{
    struct stat status
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

/// Loads a library and checks that every member arrived whole; count -1 when not.
Fingerprint fingerprint(const QString& path, QString* problem = nullptr)
{
    KVFLArchive archive(path);
    Fingerprint print;
    if (!archive.load() || !archive.errorString().isEmpty()) {
        if (problem) {
            *problem = archive.errorString();
        }
        return print;
    }
    for (const QKVFixtureDefinitionLoader* loader : archive.loaders()) {
        if (!loader->wellFormed() || loader->definitions().size() != 1) {
            if (problem) {
                *problem = QStringLiteral("a member is not a whole document");
            }
            return print;
        }
    }
    for (const QKVFixtureDefinition* definition : archive.definitions()) {
        print.names << definition->name();
    }
    print.count = print.names.size();
    return print;
}

QString helperPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/kvfl-save-helper");
}

} // namespace

/// Saving is crash-safe: a save killed at any moment leaves the library file whole,
/// either the old library or the new one, and never writes into the old file.
class TestCrashSafeSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killedSaveLeavesTheOldOrTheNewLibrary();

private:
    /// Starts the helper saving the new library to `path`; true once it is about to save.
    bool startSave(QProcess& helper, const QString& path);

    QTemporaryDir m_folder;
    QByteArray m_oldBytes;
    Fingerprint m_old;
    Fingerprint m_new;
    qint64 m_saveMicroseconds = 0;
};

bool TestCrashSafeSave::startSave(QProcess& helper, const QString& path)
{
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    helper.start(helperPath(), {path, QString::number(NewCount), QStringLiteral("2")});
    if (!helper.waitForStarted(HelperTimeoutMs)) {
        return false;
    }
    while (!helper.canReadLine()) {
        if (!helper.waitForReadyRead(HelperTimeoutMs)) {
            return false;
        }
    }
    return helper.readLine() == "ready\n";
}

void TestCrashSafeSave::initTestCase()
{
    QVERIFY(m_folder.isValid());
    QVERIFY2(QFile::exists(helperPath()), qPrintable(helperPath()));

    const QString oldPath = m_folder.filePath(QStringLiteral("old.kvfl"));
    QProcess oldSave;
    oldSave.setStandardOutputFile(QProcess::nullDevice());
    oldSave.start(helperPath(), {oldPath, QString::number(OldCount), QStringLiteral("1")});
    QVERIFY(oldSave.waitForFinished(HelperTimeoutMs));
    QCOMPARE(oldSave.exitCode(), 0);
    m_oldBytes = readFile(oldPath);
    m_old = fingerprint(oldPath);
    QCOMPARE(m_old.count, OldCount);

    // The longest of three whole saves sets the span of the kill points.
    const QString newPath = m_folder.filePath(QStringLiteral("new.kvfl"));
    for (int i = 0; i < 3; ++i) {
        QProcess helper;
        QVERIFY(startSave(helper, newPath));
        QVERIFY(helper.waitForFinished(HelperTimeoutMs));
        QCOMPARE(helper.exitCode(), 0);
        const QByteArray line = helper.readAll().trimmed();
        QVERIFY2(line.startsWith("saved "), line.constData());
        m_saveMicroseconds = std::max(m_saveMicroseconds, line.mid(6).toLongLong());
    }
    m_new = fingerprint(newPath);
    QCOMPARE(m_new.count, NewCount);
    QVERIFY(!(m_old == m_new));
    qInfo("a save takes up to %lld ms; library %lld bytes",
          m_saveMicroseconds / 1000,
          static_cast<long long>(readFile(newPath).size()));
    QVERIFY(QFile::remove(oldPath) && QFile::remove(newPath));
}

void TestCrashSafeSave::killedSaveLeavesTheOldOrTheNewLibrary()
{
    const QString path = m_folder.filePath(QStringLiteral("library.kvfl"));
    int keptOld = 0;
    int replaced = 0;
    int finished = 0;
    QStringList leftovers;
    for (int point = 0; point < KillPoints; ++point) {
        const auto delay
            = std::chrono::microseconds(static_cast<qint64>(m_saveMicroseconds * KillSpan * point / (KillPoints - 1)));
        QFile::remove(path);
        QVERIFY(writeFile(path, m_oldBytes));
        const ino_t oldInode = inodeOf(path);
        // Held open across the save: whatever happens to the name, the old file itself must
        // never be written to, truncated or cut short in place.
        QFile oldFile(path);
        QVERIFY(oldFile.open(QIODevice::ReadOnly));

        QProcess helper;
        QVERIFY(startSave(helper, path));
        std::this_thread::sleep_for(delay);
        helper.kill();
        QVERIFY(helper.waitForFinished(HelperTimeoutMs));
        finished += helper.exitStatus() == QProcess::NormalExit ? 1 : 0;

        const QString context = QStringLiteral("killed after %1 us").arg(delay.count());
        QString problem;
        const Fingerprint found = fingerprint(path, &problem);
        QVERIFY2(found == m_old || found == m_new, qPrintable(context + QStringLiteral(": ") + problem));
        if (found == m_old) {
            ++keptOld;
            QCOMPARE(inodeOf(path), oldInode);
            QCOMPARE(readFile(path), m_oldBytes);
        } else {
            ++replaced;
            QVERIFY2(inodeOf(path) != oldInode, qPrintable(context));
        }
        QVERIFY(oldFile.seek(0));
        QVERIFY2(oldFile.readAll() == m_oldBytes, qPrintable(context));

        // A temporary file of the killed save may remain beside the library; it must not
        // pass for a library in the open dialog.
        const QStringList entries = QDir(m_folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString& entry : entries) {
            if (entry != QLatin1String("library.kvfl")) {
                QVERIFY2(!entry.endsWith(QLatin1String(".kvfl"), Qt::CaseInsensitive), qPrintable(entry));
                leftovers << entry;
                QVERIFY(QFile::remove(m_folder.filePath(entry)));
            }
        }
    }
    qInfo("%d kill points: old library kept %d times, new one in place %d times (%d saves finished before the "
          "kill); %lld files left beside the library%s%s",
          KillPoints,
          keptOld,
          replaced,
          finished,
          static_cast<long long>(leftovers.size()),
          leftovers.isEmpty() ? "" : ": ",
          qPrintable(leftovers.join(QLatin1String(", "))));
    // The first kill point comes before anything could be renamed.
    QVERIFY(keptOld > 0);

    // Not killed, the same save replaces the library.
    QProcess helper;
    QVERIFY(startSave(helper, path));
    QVERIFY(helper.waitForFinished(HelperTimeoutMs));
    QCOMPARE(helper.exitCode(), 0);
    QVERIFY(fingerprint(path) == m_new);
}

QTEST_GUILESS_MAIN(TestCrashSafeSave)
#include "TestCrashSafeSave.moc"
