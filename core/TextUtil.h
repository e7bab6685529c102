#pragma once

#include <QByteArrayView>
#include <QString>

// The text without leading and trailing spaces; only the space character goes, tabs and line
// breaks stay. This is how every form trims what the user typed before it is checked or stored.
QString TrimSpaces(const QString& text);

// A menu caption as a title: without its access-key marker ("&Import", "导入(&I)"), its
// ellipsis and the blanks around it; "&&" stays as one "&".
QString PlainCaption(const QString& caption);

// The text of UTF-8 bytes exactly as they are: unlike QString::fromUtf8, a leading U+FEFF is kept,
// since at the start of a value it is a character of the value, not a byte-order mark.
QString Utf8Text(QByteArrayView bytes);

// The text without white space or control characters of any kind at either end (line breaks,
// tabs, no-break and ideographic spaces, a stray carriage return), as an imported value is kept.
QString TrimBlank(const QString& text);
