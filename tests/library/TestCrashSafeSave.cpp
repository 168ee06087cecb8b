#include "ArchiveBytes.h"
#include "QKVFixtureDefinitionLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Kill moments from the start of the save to a quarter beyond its measured end.
constexpr int KillPoints = 12;
// Enough that a save takes over a hundred milliseconds, so kills land inside the writing.
constexpr int OldCount = 400;
constexpr int NewCount = 411;
constexpr int SaverTimeoutMs = 60000;

/// The names of the definitions of a library whose every member arrived whole.
QStringList fingerprint(const QString& path)
{
    KVFLArchive archive(path);
    if (!archive.load() || !archive.errorString().isEmpty()) {
        return {QStringLiteral("not loaded: ") + archive.errorString()};
    }
    QStringList names;
    for (const QKVFixtureDefinitionLoader* loader : archive.loaders()) {
        const bool whole = loader->wellFormed() && loader->definitions().size() == 1;
        names << (whole ? loader->definitions().first()->name() : QStringLiteral("a member is not a whole document"));
    }
    return names;
}

/// Starts this program saving `count` generated definitions to `path`; true once it is ready.
bool startSave(QProcess& saver, const QString& path, int count = NewCount, int variant = 2)
{
    saver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    saver.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--save"), path, QString::number(count), QString::number(variant)});
    while (saver.waitForStarted(SaverTimeoutMs) && !saver.canReadLine()) {
        if (!saver.waitForReadyRead(SaverTimeoutMs)) {
            return false;
        }
    }
    return saver.readLine() == "ready\n";
}

} // namespace

/// A save killed at any moment leaves the old library or the new one, whole, and never
/// writes into the old file.
class TestCrashSafeSave : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedSaveLeavesTheOldOrTheNewLibrary();
};

void TestCrashSafeSave::killedSaveLeavesTheOldOrTheNewLibrary()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("library.kvfl"));
    // The longer of two whole saves, from "ready" to "saved", sets the span of the kills.
    qint64 saveMicroseconds = 0;
    for (const bool isNew : {false, true}) {
        QProcess saver;
        QElapsedTimer timer;
        QVERIFY(isNew ? startSave(saver, path + ".new") : startSave(saver, path, OldCount, 1));
        timer.start();
        while (!saver.canReadLine() && saver.waitForReadyRead(SaverTimeoutMs)) { }
        saveMicroseconds = std::max(saveMicroseconds, timer.nsecsElapsed() / 1000);
        QVERIFY(saver.waitForFinished(SaverTimeoutMs) && saver.exitCode() == 0);
    }
    QFile old(path);
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray oldBytes = old.readAll();
    old.close();
    const QStringList oldNames = fingerprint(path);
    const QStringList newNames = fingerprint(path + ".new");
    QCOMPARE(oldNames.size(), OldCount);
    QCOMPARE(newNames.size(), NewCount);
    QVERIFY(QFile::remove(path + ".new"));
    int keptOld = 0;
    for (int point = 0; point < KillPoints; ++point) {
        const auto delay = std::chrono::microseconds(saveMicroseconds * 5 / 4 * point / (KillPoints - 1));
        QFile::remove(path);
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(oldBytes) == oldBytes.size());
        old.close();
        // Held open across the save: the old file itself is never written to or truncated.
        QVERIFY(old.open(QIODevice::ReadOnly));

        QProcess saver;
        QVERIFY(startSave(saver, path));
        std::this_thread::sleep_for(delay);
        saver.kill();
        QVERIFY(saver.waitForFinished(SaverTimeoutMs));

        const QString context = QStringLiteral("killed after %1 us").arg(delay.count());
        const QStringList found = fingerprint(path);
        QVERIFY2(found == oldNames || found == newNames, qPrintable(context + ": " + found.value(0)));
        keptOld += found == oldNames ? 1 : 0;
        QVERIFY2(old.readAll() == oldBytes, qPrintable(context));
        old.close();
        // A temporary file of the killed save may remain; it must not pass for a library.
        for (const QString& entry : QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            const bool temporary = !entry.endsWith(".kvfl", Qt::CaseInsensitive);
            QVERIFY2(entry == QLatin1String("library.kvfl") || (temporary && QFile::remove(folder.filePath(entry))),
                     qPrintable(entry));
        }
    }
    qInfo("a save takes %lld ms; old library kept %d of %d times", saveMicroseconds / 1000, keptOld, KillPoints);
    QVERIFY(keptOld > 0); // the first kill comes before anything could be renamed
}

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) != QLatin1String("--save")) {
        TestCrashSafeSave test;
        return QTest::qExec(&test, argc, argv);
    }
    const Library library(arguments.value(3).toInt(), arguments.value(4).toULongLong());
    KVFLArchive archive(arguments.value(2));
    archive.setDefinitionsToSave(library.list);
    std::printf("ready\n");
    std::fflush(stdout);
    const bool saved = archive.save();
    std::printf("saved\n");
    return saved ? 0 : 1;
}
#include "TestCrashSafeSave.moc"
