#pragma once

#include <QString>

// The text without leading and trailing spaces; only the space character goes, tabs and line
// breaks stay. This is how every form trims what the user typed before it is checked or stored.
QString TrimSpaces(const QString& text);
