#pragma once

#include "Command.h"

#include <QString>

#include <vector>

/// Lays out the help for an 80-column terminal, the width a man page and most
/// terminals still assume.
namespace HelpText {

constexpr int Width = 80;

/// A space that never breaks a line, for terms that must stay whole ("KORVANE KVP-DEV").
inline constexpr char16_t NoBreakSpace = 0x00A0;

/// `text` filled into lines of at most Width columns, each indented by `indent`
/// spaces and the lines after the first of a paragraph by `hanging` more; a line end
/// in `text` starts a new paragraph. Ends with a line end.
QString wrap(const QString& text, int indent, int hanging = 0);

/// Terms with their descriptions in two columns: the term at `indent`, the description
/// from `column` on, wrapped; a term too wide for its column gets a line of its own.
QString entries(const std::vector<HelpEntry>& entries, int indent, int column);

/// `text`, laid out by its author, with every line indented by `indent` spaces.
QString indented(const QString& text, int indent);

} // namespace HelpText
