// The help and the refusals of kvfl's command line, held to the command table the
// binary is built from, so a new option cannot go undocumented.
#include "Command.h"
#include "CommandDispatcher.h"
#include "KvflTool.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

constexpr int ProcessTimeoutMs = 60000;
constexpr int HelpWidth = 80;

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

/// The first line of `text` that is wider than the help may be, or empty.
QByteArray tooWideLine(const QByteArray& text)
{
    for (const QByteArray& line : text.split('\n')) {
        if (QString::fromUtf8(line).size() > HelpWidth) {
            return line;
        }
    }
    return {};
}

} // namespace

/// Runs the real kvfl binary: the help goes to standard output with status 0, a refused
/// command line to standard error with EX_USAGE.
class TestKvflCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void wholeHelpNamesEveryCommandOptionAndStatus_data();
    void wholeHelpNamesEveryCommandOptionAndStatus();
    void commandHelpNamesEveryOption_data();
    void commandHelpNamesEveryOption();
    void refusedCommandLineShowsUsageAndExits64_data();
    void refusedCommandLineShowsUsageAndExits64();

private:
    Run kvfl(const QStringList& arguments);

    QString m_kvfl;
    QTemporaryDir m_dir;
    CommandDispatcher m_table {QString::fromLatin1(KvflTool::ProgramName)};
};

void TestKvflCommandLine::initTestCase()
{
    m_kvfl = QStringLiteral(QRD_BIN_DIR "/kvfl");
    QVERIFY2(QFileInfo(m_kvfl).isExecutable(), qPrintable(m_kvfl));
    QVERIFY(m_dir.isValid());
    KvflTool::setUp(m_table);
    QVERIFY(!m_table.commands().empty());
}

Run TestKvflCommandLine::kvfl(const QStringList& arguments)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    // A silent device: a command line that got past the checks would fail with 1, never
    // pass for a refusal.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KVP_FTDI_BACKEND"), QStringLiteral("sim"));
    environment.insert(QStringLiteral("KVP_SIM_DEVICES"), QStringLiteral("silent=1"));
    process.setProcessEnvironment(environment);
    process.start(m_kvfl, arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(ProcessTimeoutMs) || process.exitStatus() != QProcess::NormalExit) {
        qWarning("kvfl did not finish normally: %s", qPrintable(process.errorString()));
        process.kill();
        process.waitForFinished();
        return {};
    }
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

void TestKvflCommandLine::wholeHelpNamesEveryCommandOptionAndStatus_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("--help") << QStringList {"--help"};
    QTest::newRow("-h") << QStringList {"-h"};
    QTest::newRow("help") << QStringList {"help"};
}

void TestKvflCommandLine::wholeHelpNamesEveryCommandOptionAndStatus()
{
    QFETCH(QStringList, arguments);

    const Run run = kvfl(arguments);
    QCOMPARE(run.exitCode, ExitCode::Success);
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    QVERIFY2(run.out.startsWith("Usage: kvfl COMMAND [ARGUMENTS]\n"), run.out.constData());
    QVERIFY2(tooWideLine(run.out).isEmpty(), tooWideLine(run.out).constData());
    const QString help = QString::fromUtf8(run.out);
    for (const Command& command : m_table.commands()) {
        QVERIFY2(help.contains(QStringLiteral("\n  ") + command.name + QLatin1Char(' '))
                     || help.contains(QStringLiteral("\n  ") + command.name + QLatin1Char('\n')),
                 qPrintable(command.name));
        for (const CommandOption& option : command.options) {
            QVERIFY2(help.contains(option.name), qPrintable(command.name + QLatin1Char(' ') + option.name));
        }
        if (!command.output.isEmpty()) {
            QVERIFY2(help.contains(command.output.section(QLatin1Char('\n'), 0, 0)), qPrintable(command.name));
        }
    }
    for (const int status : {ExitCode::Success,
                             ExitCode::Failure,
                             ExitCode::PatchListNotEmpty,
                             ExitCode::NotEnoughMemory,
                             ExitCode::ChannelRequirements,
                             ExitCode::Usage}) {
        QVERIFY2(help.contains(QStringLiteral("\n  %1 ").arg(status)), qPrintable(QString::number(status)));
    }
    for (const char* variable : {"KVP_FTDI_BACKEND", "KVP_SIM_DEVICES", "KVP_FTDI_SOCKETS"}) {
        QVERIFY2(help.contains(QLatin1String(variable)), variable);
    }
}

void TestKvflCommandLine::commandHelpNamesEveryOption_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("arguments");
    for (const Command& command : m_table.commands()) {
        const QByteArray name = command.name.toUtf8();
        QTest::newRow(name + " --help") << command.name << QStringList {command.name, "--help"};
        QTest::newRow(name + " -h") << command.name << QStringList {command.name, "-h"};
        QTest::newRow("help " + name) << command.name << QStringList {"help", command.name};
    }
}

void TestKvflCommandLine::commandHelpNamesEveryOption()
{
    QFETCH(QString, command);
    QFETCH(QStringList, arguments);

    const auto entry = std::find_if(
        m_table.commands().begin(), m_table.commands().end(), [&](const Command& c) { return c.name == command; });
    QVERIFY(entry != m_table.commands().end());
    const Run run = kvfl(arguments);
    QCOMPARE(run.exitCode, ExitCode::Success);
    QVERIFY2(run.err.isEmpty(), run.err.constData());
    QVERIFY2(tooWideLine(run.out).isEmpty(), tooWideLine(run.out).constData());
    const QString help = QString::fromUtf8(run.out);
    QVERIFY2(help.startsWith(QStringLiteral("Usage: kvfl ") + command), qPrintable(help));
    for (const CommandOption& option : entry->options) {
        QVERIFY2(help.contains(QStringLiteral("\n  ") + option.name), qPrintable(option.name));
    }
    for (const HelpEntry& argument : entry->argumentHelp) {
        QVERIFY2(help.contains(QStringLiteral("\n  ") + argument.term), qPrintable(argument.term));
    }
    for (const HelpEntry& status : entry->exitStatuses) {
        QVERIFY2(help.contains(QStringLiteral("\n  ") + status.term + QLatin1Char(' ')), qPrintable(status.term));
    }
    QVERIFY(help.contains(QStringLiteral("\n  %1 ").arg(ExitCode::Usage)));
}

void TestKvflCommandLine::refusedCommandLineShowsUsageAndExits64_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("reason"); // in the first line of standard error
    QTest::addColumn<QString>("usage"); // the start of the usage that follows

    const QString general = QStringLiteral("Usage: kvfl COMMAND [ARGUMENTS]");
    const QString dump = QStringLiteral("Usage: kvfl dump LIBRARY");
    const QString list = QStringLiteral("Usage: kvfl list [--device ADDRESS]");
    const QString remove = QStringLiteral("Usage: kvfl delete [--device ADDRESS] RECORD...");
    const QString make = QStringLiteral("Usage: kvfl firmware-make OUT --model MODEL");

    QTest::newRow("no command") << QStringList() << "no command given" << general;
    QTest::newRow("unknown command") << QStringList {"frobnicate", "x.kvfl"} << "unknown command" << general;
    QTest::newRow("help for an unknown command") << QStringList {"help", "frobnicate"} << "unknown command" << general;
    QTest::newRow("help with two commands")
        << QStringList {"--help", "dump", "info"} << "too many arguments" << general;
    QTest::newRow("unknown option") << QStringList {"dump", "--verbose", "x.kvfl"} << "unknown option" << dump;
    QTest::newRow("option of another command")
        << QStringList {"dump", "--device", "usb:ftdi/0", "x.kvfl"} << "unknown option" << dump;
    QTest::newRow("missing argument") << QStringList {"dump"} << "missing argument" << dump;
    QTest::newRow("extra argument") << QStringList {"dump", "a.kvfl", "b.kvfl"} << "too many arguments" << dump;
    QTest::newRow("extra argument, no arguments taken")
        << QStringList {"list", "x.kvfl"} << "too many arguments" << list;
    QTest::newRow("option without its value") << QStringList {"list", "--device"} << "needs a value" << list;
    QTest::newRow("flag with a value") << QStringList {"upload", "x.kvfl", "--clear-patch=yes"} << "takes no value"
                                       << QStringLiteral("Usage: kvfl upload LIBRARY");
    QTest::newRow("record number not a number") << QStringList {"delete", "x"} << "not a record number" << remove;
    QTest::newRow("record number too big") << QStringList {"delete", "0", "256"} << "not a record number" << remove;
    QTest::newRow("negative record number") << QStringList {"download", "x.kvfl", "--", "-1"} << "not a record number"
                                            << QStringLiteral("Usage: kvfl download LIBRARY");
    QTest::newRow("hex value with a bad digit")
        << QStringList {"firmware-make", "out.kv2", "--model", "QRD-780", "--opaque", "0g", "s.img"}
        << "--opaque takes an even number of hexadecimal digits" << make;
    QTest::newRow("required option missing")
        << QStringList {"firmware-make", "out.kv2", "s.img"} << "needs --model MODEL" << make;
}

void TestKvflCommandLine::refusedCommandLineShowsUsageAndExits64()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, reason);
    QFETCH(QString, usage);

    const Run run = kvfl(arguments);
    QCOMPARE(run.exitCode, ExitCode::Usage);
    QVERIFY2(run.out.isEmpty(), run.out.constData());
    const QString error = QString::fromUtf8(run.err);
    const QString firstLine = error.section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(firstLine.startsWith(QStringLiteral("kvfl: ")) && firstLine.contains(reason), qPrintable(error));
    QVERIFY2(error.section(QLatin1Char('\n'), 1).startsWith(usage), qPrintable(error));
    QVERIFY2(tooWideLine(run.err).isEmpty(), tooWideLine(run.err).constData());
}

QTEST_GUILESS_MAIN(TestKvflCommandLine)
#include "TestKvflCommandLine.moc"
