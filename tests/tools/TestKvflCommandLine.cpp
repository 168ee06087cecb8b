// The help and the refusals of kvfl's command line, held to the command table the
// binary is built from, so a new option cannot go undocumented.
#include "Command.h"
#include "CommandDispatcher.h"
#include "KvflTool.h"
#include "ProcessRun.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>

namespace {

/// The first line of `text` that is wider than the help's 80 columns, or empty.
QString tooWideLine(const QByteArray& text)
{
    return QRegularExpression("^.{81,}$", QRegularExpression::MultilineOption)
        .match(QString::fromUtf8(text))
        .captured();
}

// A silent device: a command line that got past the checks would fail with 1, never
// pass for a refusal.
ProcessRun kvfl(const QStringList& arguments)
{
    return runKvfl(arguments, simDevices(QStringLiteral("silent=1")));
}

} // namespace

/// Runs the real kvfl binary: the help goes to standard output with status 0, a refused
/// command line to standard error with EX_USAGE.
class TestKvflCommandLine : public QObject
{
    Q_OBJECT

    const CommandDispatcher m_table = [] {
        CommandDispatcher table(QString::fromLatin1(KvflTool::ProgramName));
        KvflTool::setUp(table);
        return table;
    }();

private Q_SLOTS:
    void helpNamesEveryCommandOptionAndStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("command"); // empty: the whole help
        for (const char* form : {"--help", "-h", "help"}) {
            QTest::newRow(form) << QStringList {form} << QString();
        }
        // Every command, each of the three ways to ask for its help in turn.
        int i = 0;
        for (const Command& command : m_table.commands()) {
            const QString form = QStringList {"%1 --help", "%1 -h", "help %1"}.at(i++ % 3).arg(command.name);
            QTest::newRow(qPrintable(form)) << form.split(' ') << command.name;
        }
    }
    void helpNamesEveryCommandOptionAndStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, command);
        const ProcessRun run = kvfl(arguments);
        QCOMPARE(run.exitCode, ExitCode::Success);
        QVERIFY2(run.err.isEmpty(), run.err.constData());
        QVERIFY2(tooWideLine(run.out).isEmpty(), qPrintable(tooWideLine(run.out)));
        const QString help = QString::fromUtf8(run.out);
        const QString usage = command.isEmpty() ? QStringLiteral("COMMAND [ARGUMENTS]") : command;
        QVERIFY2(help.startsWith("Usage: kvfl " + usage), qPrintable(help));
        QVERIFY(help.contains(QStringLiteral("\n  %1 ").arg(ExitCode::Usage)));
        for (const Command& entry : m_table.commands()) {
            if (!command.isEmpty() && entry.name != command) {
                continue;
            }
            QVERIFY2(!command.isEmpty() || help.contains(QRegularExpression("\n  " + entry.name + "[ \n]")),
                     qPrintable(entry.name));
            for (const CommandOption& option : entry.options) {
                QVERIFY2(help.contains("  " + option.name), qPrintable(entry.name + ' ' + option.name));
            }
            for (const CommandArgument& argument : entry.arguments) {
                QVERIFY2(command.isEmpty() || help.contains("\n  " + argument.term), qPrintable(argument.term));
            }
            for (const HelpEntry& status : entry.exitStatuses) {
                QVERIFY2(help.contains("\n  " + status.term + ' '), qPrintable(entry.name + ' ' + status.term));
            }
            QVERIFY2(entry.output.isEmpty() || help.contains(entry.output.section('\n', 0, 0)), qPrintable(entry.name));
        }
    }

    void refusedCommandLineShowsUsageAndExits64_data()
    {
        QTest::addColumn<QStringList>("arguments"); // the usage of the command named first follows, or the general one
        QTest::addColumn<QString>("reason"); // in the first line of standard error
        const auto row = [](const char* name, const QString& arguments, const char* reason) {
            QTest::newRow(name) << arguments.split(' ', Qt::SkipEmptyParts) << reason;
        };
        row("no command", "", "no command given");
        row("unknown command", "frobnicate x.kvfl", "unknown command");
        row("help for an unknown command", "help frobnicate", "unknown command");
        row("help with two commands", "--help dump info", "too many arguments");
        row("unknown option", "dump --device usb:ftdi/0 x.kvfl", "unknown option");
        row("missing argument", "dump", "missing argument");
        row("extra argument", "dump a.kvfl b.kvfl", "too many arguments");
        row("extra argument, no arguments taken", "list x.kvfl", "too many arguments");
        row("delete without record", "delete", "missing argument");
        row("check without library", "check --name Fine", "missing argument");
        row("import without a fixture file", "import-qxf x.kvfl --mode Basic", "missing argument");
        row("catalogue with an operand", "catalogue x", "too many arguments");
        row("option without its value", "list --device", "needs a value");
        row("flag with a value", "upload x.kvfl --clear-patch=yes", "takes no value");
        // The handler refuses these; the dispatcher adds the usage.
        row("record number not a number", "delete x", "not a record number");
        row("record number too big", "delete 0 256", "not a record number");
        row("negative record number", "download x.kvfl -- -1", "not a record number");
        row("hex value with a bad digit", "firmware-make o --model M --opaque 0g s", "--opaque takes");
        row("required option missing", "firmware-make out.kv2 s.img", "needs --model MODEL");
    }
    void refusedCommandLineShowsUsageAndExits64()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, reason);
        const ProcessRun run = kvfl(arguments);
        QCOMPARE(run.exitCode, ExitCode::Usage);
        QVERIFY2(run.out.isEmpty(), run.out.constData());
        const QString error = QString::fromUtf8(run.err);
        const QString firstLine = error.section('\n', 0, 0);
        QVERIFY2(firstLine.startsWith(QStringLiteral("kvfl: ")) && firstLine.contains(reason), qPrintable(error));
        const auto& commands = m_table.commands();
        const bool named
            = std::any_of(commands.begin(), commands.end(), [&](auto& c) { return c.name == arguments.value(0); });
        const QString usage = named ? arguments.at(0) : QStringLiteral("COMMAND [ARGUMENTS]");
        QVERIFY2(error.section('\n', 1).startsWith("Usage: kvfl " + usage), qPrintable(error));
        QVERIFY2(tooWideLine(run.err).isEmpty(), qPrintable(tooWideLine(run.err)));
    }
};

QTEST_GUILESS_MAIN(TestKvflCommandLine)
#include "TestKvflCommandLine.moc"
