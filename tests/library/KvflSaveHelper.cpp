// A process for the crash-safe save test to kill: it generates a library, says "ready",
// saves it to the given path and reports how long the save took. Killed at any moment,
// it must leave the library file whole, old or new.

#include "KVFLArchive.h"
#include "QKVFixtureDefinition.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>
#include <memory>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    bool countOk = false;
    bool startOk = false;
    const int count = arguments.value(2).toInt(&countOk);
    const quint64 start = arguments.value(3).toULongLong(&startOk);
    if (arguments.size() != 4 || !countOk || !startOk || count < 0) {
        std::fprintf(stderr, "usage: kvfl-save-helper PATH COUNT START\n");
        return 64;
    }

    Random random(start);
    std::vector<std::unique_ptr<QKVFixtureDefinition>> owned;
    QList<QKVFixtureDefinition*> definitions;
    QStringList names;
    for (int i = 0; i < count; ++i) {
        owned.push_back(randomDefinition(random, names));
        definitions << owned.back().get();
        names << owned.back()->name();
    }
    KVFLArchive archive(arguments.at(1));
    archive.setDefinitionsToSave(definitions);

    // The killer starts its clock here: everything before this line is not the save.
    std::printf("ready\n");
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    if (!archive.save()) {
        std::fprintf(stderr, "%s\n", qPrintable(archive.errorString()));
        return 1;
    }
    std::printf("saved %lld\n", static_cast<long long>(timer.nsecsElapsed() / 1000));
    std::fflush(stdout);
    return 0;
}
