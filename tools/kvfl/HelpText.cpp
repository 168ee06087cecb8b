#include "HelpText.h"

#include <QStringList>

namespace {

/// Fills the words of one paragraph into lines of `width` columns or less; a word
/// longer than a line keeps a line of its own rather than being cut.
QStringList fill(const QString& paragraph, int width)
{
    QStringList lines;
    QString line;
    for (const QString& word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            lines.append(line);
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty() || lines.isEmpty()) {
        lines.append(line);
    }
    return lines;
}

} // namespace

namespace HelpText {

QString wrap(const QString& text, int indent, int hanging)
{
    QString result;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        // Filled as if every line hung, so the first one is never longer than needed.
        const QStringList lines = fill(paragraph, Width - indent - hanging);
        for (int i = 0; i < lines.size(); ++i) {
            const QString margin(i == 0 ? indent : indent + hanging, QLatin1Char(' '));
            result += lines.at(i).isEmpty() ? QStringLiteral("\n") : margin + lines.at(i) + QLatin1Char('\n');
        }
    }
    result.replace(QChar(NoBreakSpace), QLatin1Char(' '));
    return result;
}

QString entries(const std::vector<HelpEntry>& entries, int indent, int column)
{
    const QString margin(indent, QLatin1Char(' '));
    QString result;
    for (const HelpEntry& entry : entries) {
        QString text = wrap(entry.description, column);
        const QString term = margin + entry.term;
        // Two spaces at least between the term and its description.
        if (term.size() + 2 <= column) {
            text.replace(0, term.size(), term);
        } else {
            text.prepend(term + QLatin1Char('\n'));
        }
        result += text;
    }
    return result;
}

QString indented(const QString& text, int indent)
{
    const QString margin(indent, QLatin1Char(' '));
    QString result;
    QString body = text;
    while (body.endsWith(QLatin1Char('\n'))) {
        body.chop(1);
    }
    for (const QString& line : body.split(QLatin1Char('\n'))) {
        result += line.isEmpty() ? QStringLiteral("\n") : margin + line + QLatin1Char('\n');
    }
    return result;
}

} // namespace HelpText
