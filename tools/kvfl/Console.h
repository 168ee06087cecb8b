#pragma once

#include "ExitCode.h"

#include <QByteArray>
#include <QTextStream>

class QIODevice;
class QJsonDocument;

/// The standard streams of one run of the tool. Commands write through it rather than
/// to stdout and stderr directly, so a test can run them on buffers.
class Console
{
public:
    /// None of the devices is owned; they must be open and outlive the console.
    Console(QIODevice* input, QIODevice* output, QIODevice* error);
    ~Console();

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    /// Results of a command (UTF-8).
    QTextStream& out() { return m_out; }
    /// Messages about failures and warnings (UTF-8).
    QTextStream& err() { return m_err; }

    /// Prints a result as indented JSON; an empty array as "[]", the line a script
    /// compares with (Qt spreads it over two).
    void printJson(const QJsonDocument& document);
    /// Says on standard error why a command failed, one message a line, and returns
    /// `status`, so a handler ends with `return console.fail(...)`.
    int fail(const QString& message, ExitCode::Status status = ExitCode::Failure);

    /// Everything the input holds, up to its end.
    QByteArray readAllInput();

private:
    QIODevice* m_input;
    QTextStream m_out;
    QTextStream m_err;
};
