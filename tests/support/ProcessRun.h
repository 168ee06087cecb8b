#pragma once

#include <QFile>
#include <QProcess>

/// How a program run to its end went: exit status (-1: it crashed or hung) and both streams.
struct ProcessRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

/// Runs `program` in the current folder with `input` on standard input. `environment`
/// changes the test's own: "NAME=value" sets a variable, "NAME" alone removes it.
inline ProcessRun runProcess(const QString& program,
                             const QStringList& arguments,
                             const QStringList& environment = {},
                             const QByteArray& input = {})
{
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        equals < 0 ? variables.remove(entry) : variables.insert(entry.left(equals), entry.mid(equals + 1));
    }
    QProcess process;
    process.setProcessEnvironment(variables);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool finished = process.waitForFinished(300000) && process.exitStatus() == QProcess::NormalExit;
    if (!finished) {
        qWarning("%s did not finish normally: %s", qPrintable(program), qPrintable(process.errorString()));
        process.kill();
        process.waitForFinished();
    }
    return {finished ? process.exitCode() : -1, process.readAllStandardOutput(), process.readAllStandardError()};
}

/// The environment of a tool working on simulated devices (KVP_SIM_DEVICES), with a reply
/// timeout short enough that a silent device costs half a second, not two.
inline QStringList simDevices(const QString& devices)
{
    return {"KVP_FTDI_BACKEND=sim", "KVP_SIM_DEVICES=" + devices, "KVP_REPLY_TIMEOUT_MS=500"};
}

inline bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

/// The kvfl of this build.
inline ProcessRun
runKvfl(const QStringList& arguments, const QStringList& environment = {}, const QByteArray& input = {})
{
    return runProcess(QStringLiteral(QRD_BIN_DIR "/kvfl"), arguments, environment, input);
}
