#pragma once

class QWidget;

// Twips are 1/1440 inch; the settings file keeps sizes in twips so it moves between screens.
int TwipsPerPixelX(const QWidget* widget);
int TwipsPerPixelY(const QWidget* widget);
int PixelsToTwips(int pixels, int twipsPerPixel);
int TwipsToPixels(int twips, int twipsPerPixel);

// Writes the window's state (0 normal, 1 minimised, 2 maximised) and, unless it is maximised,
// its Top, Left, Height and Width in twips, into the section named after the form.
void SaveFormState(QWidget* form);
// Reads them back: a minimised window comes back normal, negative positions keep the current
// ones, and when nothing differs from the current bounds the window is centred on its screen.
void RestoreFormState(QWidget* form);
