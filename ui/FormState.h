#pragma once

#include <QList>
#include <QRect>
#include <QString>

#include <utility>

class QWidget;

enum class SettingsReport { OncePerSession, Always };
// Writes values into section of the settings file. A failure tells the user why, but only the
// first of the session unless Always: the columns are saved on every switch of the list.
bool SaveSettings(QWidget* parent, const QString& section, const QList<std::pair<QString, QString>>& values,
                  SettingsReport report = SettingsReport::OncePerSession);

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
// Where a window of these bounds goes so that it can be seen and moved: as it is when one screen's
// free area holds it whole; otherwise moved (and, if larger, shrunk) into the area that shows
// most of it, or the first when none does (a smaller screen, another scale factor since).
QRect PlaceOnScreen(const QRect& wanted, const QList<QRect>& areas);
// Shows a window in front of the others, restored from the task bar with the state it had there:
// a maximised window stays maximised.
void ShowInFront(QWidget* window);
