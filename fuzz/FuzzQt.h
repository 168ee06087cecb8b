#pragma once

// What the targets on the Qt layers add: one QCoreApplication for the whole run, and the
// sink for Qt's strings.

#include "FuzzSupport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

namespace fuzz {

/// Qt's tr(), codecs and object machinery want an application object; libFuzzer's argc
/// and argv live as long as the process, as QCoreApplication requires.
inline void initQt(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
}

inline void touch(const QString& text)
{
    touch(text.constData(), static_cast<size_t>(text.size()) * sizeof(QChar));
}

inline void touch(const QByteArray& bytes)
{
    touch(bytes.constData(), static_cast<size_t>(bytes.size()));
}

} // namespace fuzz
