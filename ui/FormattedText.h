#pragma once

#include <string>

#include <QTextCursor>

class QTextCharFormat;
class QTextDocument;

// What the message editor does with formatted text, apart from its widget.

// The plain-text twin of a formatted message, CR LF line breaks: the words as typed, a link as
// "text (URL)", a list item after "- " (or its number), a picture as its file's name.
std::string PlainTwin(const QTextDocument &document);

// The cursor with each end of its selection that falls inside a field tag ("<<City>>") moved
// to the tag's edge, so that a tag is formatted whole or not at all (half a bold tag would
// still merge, but looks as if it could not).
QTextCursor WithWholeTags(QTextCursor cursor);

// Applies the format to the selection, or to the word at the cursor when nothing is selected,
// tags kept whole.
void MergeFormatOnWordOrSelection(QTextCursor cursor, const QTextCharFormat &format);
