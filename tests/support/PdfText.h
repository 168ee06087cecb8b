#pragma once

// Reads PDFs back with poppler-utils (pdftotext, pdfinfo), as a reader of the file would.

#include "ProcessRun.h"

#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

/// Whether poppler-utils is installed; tests that read PDFs skip without it.
inline bool havePoppler()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

/// The text of the PDF at `path` in reading order, pages separated by form feeds.
inline QString pdfText(const QString& path)
{
    return QString::fromUtf8(runProcess(QStringLiteral("pdftotext"), {path, QStringLiteral("-")}).out);
}

/// The page count pdfinfo reads; -1 when it cannot read the file.
inline int pdfPages(const QString& path)
{
    const ProcessRun run = runProcess(QStringLiteral("pdfinfo"), {path});
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)$"), QRegularExpression::MultilineOption)
              .match(QString::fromUtf8(run.out));
    return run.exitCode == 0 && match.hasMatch() ? match.captured(1).toInt() : -1;
}

/// The first of `words` that `text` lacks after the ones before it; empty when all are there in order.
inline QString missingInOrder(const QString& text, const QStringList& words)
{
    qsizetype from = 0;
    for (const QString& word : words) {
        const qsizetype at = text.indexOf(word, from);
        if (at < 0) {
            return word;
        }
        from = at + word.size();
    }
    return {};
}
