#pragma once

#include <QString>

// The text without leading and trailing spaces; only the space character goes, tabs and line
// breaks stay. This is how every form trims what the user typed before it is checked or stored.
QString TrimSpaces(const QString& text);

// A menu caption as a title: without its access-key marker ("&Import", "导入(&I)"), its
// ellipsis and the blanks around it; "&&" stays as one "&".
QString PlainCaption(const QString& caption);
