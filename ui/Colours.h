#pragma once

#include <QColor>

class QPalette;

// The colours the program sets itself (list stripes, the count column, links, the search node,
// the message bar), derived from the palette in use so they stay readable on light and dark
// desktop schemes alike.

// The WCAG contrast ratio of two colours, from 1 (the same) to 21 (black on white).
double ContrastRatio(const QColor& a, const QColor& b);
// A palette whose text is lighter than its background.
bool IsDarkPalette(const QPalette& palette);
// The wanted colour's hue, made lighter or darker until it reads on background with at least the
// ratio WCAG asks of body text (4.5); unchanged when it already does.
QColor ReadableOn(const QColor& wanted, const QColor& background, double ratio = 4.5);
// The second band of a striped list: the base moved a little toward the text (0xF0F0F0 on white).
QColor StripeColour(const QPalette& palette);
// A link's colour on the palette's base: the palette's own link colour, kept readable.
QColor LinkColour(const QPalette& palette);
// A dark desktop scheme as the dark GTK themes give it (light text on dark grey, disabled text
// dimmed), for looking at the windows on one: the tests and the help's screenshots.
QPalette DarkDesktopPalette();
