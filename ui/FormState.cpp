#include "ui/FormState.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

#include "core/AppState.h"
#include "core/Language.h"
#include "core/OperateIni.h"
#include "ui/Common.h"

namespace {

int TwipsPerPixel(int dpi)
{
    return dpi > 0 ? std::max(1, static_cast<int>(std::lround(1440.0 / dpi))) : 15;
}

int ReadInt(const QString& section, const QString& key, int current)
{
    return IniToInt(ReadIni(section, key, QString::number(current), IniFile)).value_or(current);
}

int StateOf(const QWidget* form)
{
    if (form->isMinimized()) {
        return 1;
    }
    return form->isMaximized() ? 2 : 0;
}

} // namespace

int TwipsPerPixelX(const QWidget* widget)
{
    return TwipsPerPixel(widget->logicalDpiX());
}

int TwipsPerPixelY(const QWidget* widget)
{
    return TwipsPerPixel(widget->logicalDpiY());
}

int PixelsToTwips(int pixels, int twipsPerPixel)
{
    return pixels * twipsPerPixel;
}

int TwipsToPixels(int twips, int twipsPerPixel)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / twipsPerPixel));
}

bool SaveSettings(QWidget* parent, const QString& section, const QList<std::pair<QString, QString>>& values,
                  SettingsReport report)
{
    static bool reported = false;
    QString error;
    if (WriteIniValues(section, values, IniFile, &error)) {
        return true;
    }
    if (!reported || report == SettingsReport::Always) {
        reported = true;
        MsgWarning(parent, GetLangString(QStringLiteral("General"), QStringLiteral("10010"),
                                         QStringLiteral("The settings could not be saved in %1: %2"))
                               .arg(IniFile, error));
    }
    return false;
}

void SaveFormState(QWidget* form)
{
    const QString section = form->objectName();
    const int state = StateOf(form);
    QList<std::pair<QString, QString>> values{{QStringLiteral("WindowState"), QString::number(state)}};
    if (state == 2) {
        SaveSettings(form, section, values); // the bounds of the last normal session stay in the file
        return;
    }
    // Position of the frame, size of the client area: exactly what move() and resize() take back.
    // A minimised window keeps both, so it reopens where it stood.
    const QPoint topLeft = form->pos();
    const QSize bounds = form->size();
    const int tx = TwipsPerPixelX(form);
    const int ty = TwipsPerPixelY(form);
    values.append({QStringLiteral("Top"), QString::number(PixelsToTwips(topLeft.y(), ty))});
    values.append({QStringLiteral("Left"), QString::number(PixelsToTwips(topLeft.x(), tx))});
    values.append({QStringLiteral("Height"), QString::number(PixelsToTwips(bounds.height(), ty))});
    values.append({QStringLiteral("Width"), QString::number(PixelsToTwips(bounds.width(), tx))});
    SaveSettings(form, section, values);
}

void RestoreFormState(QWidget* form)
{
    const QString section = form->objectName();
    int state = ReadInt(section, QStringLiteral("WindowState"), StateOf(form));
    if (state == 1) {
        state = 0; // never come back minimised
    }
    const int tx = TwipsPerPixelX(form);
    const int ty = TwipsPerPixelY(form);
    const int currentTop = PixelsToTwips(form->pos().y(), ty);
    const int currentLeft = PixelsToTwips(form->pos().x(), tx);
    const int currentHeight = PixelsToTwips(form->height(), ty);
    const int currentWidth = PixelsToTwips(form->width(), tx);

    int top = ReadInt(section, QStringLiteral("Top"), currentTop);
    if (top < 0) {
        top = currentTop;
    }
    int left = ReadInt(section, QStringLiteral("Left"), currentLeft);
    if (left < 0) {
        left = currentLeft;
    }
    const int height = ReadInt(section, QStringLiteral("Height"), currentHeight);
    const int width = ReadInt(section, QStringLiteral("Width"), currentWidth);

    // A size that is no size at all (junk in the file) keeps the window usable.
    const QSize size(std::clamp(TwipsToPixels(width, tx), std::max(form->minimumWidth(), 100), 32000),
                     std::clamp(TwipsToPixels(height, ty), std::max(form->minimumHeight(), 80), 32000));
    if (top != currentTop || left != currentLeft || height != currentHeight || width != currentWidth) {
        QList<QRect> areas;
        for (const QScreen* screen : QGuiApplication::screens()) {
            areas.append(screen->availableGeometry());
        }
        // The primary screen first: where a window that is nowhere goes.
        if (const QScreen* primary = QGuiApplication::primaryScreen(); primary != nullptr) {
            if (const qsizetype at = areas.indexOf(primary->availableGeometry()); at > 0) {
                areas.move(at, 0);
            }
        }
        const QRect placed = PlaceOnScreen(QRect(QPoint(TwipsToPixels(left, tx), TwipsToPixels(top, ty)), size), areas);
        form->resize(placed.size());
        form->move(placed.topLeft());
    } else {
        QScreen* screen = form->screen() != nullptr ? form->screen() : QGuiApplication::primaryScreen();
        if (screen != nullptr) {
            const QRect area = screen->geometry();
            form->move(area.x() + (area.width() - form->width()) / 2, area.y() + (area.height() - form->height()) / 2);
        }
    }
    // Maximising after the move keeps the stored bounds as the window's normal bounds.
    form->setWindowState(state == 2 ? (form->windowState() | Qt::WindowMaximized) & ~Qt::WindowMinimized
                                    : form->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
}

QRect PlaceOnScreen(const QRect& wanted, const QList<QRect>& areas)
{
    const QRect* best = nullptr;
    qint64 bestShown = -1;
    for (const QRect& area : areas) {
        if (area.contains(wanted)) {
            return wanted;
        }
        const QRect shown = area.intersected(wanted);
        const qint64 size = shown.isEmpty() ? 0 : qint64(shown.width()) * shown.height();
        if (size > bestShown) {
            bestShown = size;
            best = &area;
        }
    }
    if (best == nullptr || best->isEmpty()) {
        return wanted;
    }
    const QSize size = wanted.size().boundedTo(best->size());
    const int x = std::clamp(wanted.x(), best->left(), best->left() + best->width() - size.width());
    const int y = std::clamp(wanted.y(), best->top(), best->top() + best->height() - size.height());
    return {QPoint(x, y), size};
}

void ShowInFront(QWidget* window)
{
    if (window->isMinimized()) {
        // Only the minimised flag goes: a window maximised before it was minimised comes back so.
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    }
    window->show();
    window->raise();
    window->activateWindow();
}
