#include "Console.h"

#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>

Console::Console(QIODevice* input, QIODevice* output, QIODevice* error)
    : m_input(input), m_out(output), m_err(error) { }

Console::~Console()
{
    m_out.flush();
    m_err.flush();
}

void Console::printJson(const QJsonDocument& document)
{
    const bool emptyArray = document.isArray() && document.array().isEmpty();
    m_out << (emptyArray ? QByteArray("[]\n") : document.toJson(QJsonDocument::Indented));
}

int Console::fail(const QString& message, ExitCode::Status status)
{
    m_err << message << '\n';
    return status;
}

QByteArray Console::readAllInput()
{
    // On a pipe this blocks until the writer closes it: the input is one document.
    return m_input->readAll();
}
