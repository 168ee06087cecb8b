#include "Console.h"

#include <QIODevice>

Console::Console(QIODevice* input, QIODevice* output, QIODevice* error)
    : m_input(input), m_out(output), m_err(error) { }

Console::~Console()
{
    m_out.flush();
    m_err.flush();
}

QByteArray Console::readAllInput()
{
    // On a pipe this blocks until the writer closes it: the input is one document.
    return m_input->readAll();
}
