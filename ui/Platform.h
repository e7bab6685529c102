#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QPrinter;
class QWidget;

enum class MsgIcon { Information, Warning, Critical, Question };
enum class MsgButtons { Ok, OkCancel };     // with OkCancel, Cancel is the default button
enum class MsgResult { Ok, Cancel, Other }; // Other: the third button of MessageBoxWithOther

// Everything the program asks of the desktop: message boxes, sounds, file and folder choosers,
// a password and the shell. Tests install a recorder in its place that scripts the answers.
class Platform
{
public:
    virtual ~Platform() = default;

    virtual MsgResult MessageBox(QWidget* parent, const QString& text, const QString& title, MsgIcon icon,
                                 MsgButtons buttons) = 0;
    // A question with a third answer between OK and Cancel, labelled other; Cancel is the default
    // button and Escape answers it.
    virtual MsgResult MessageBoxWithOther(QWidget* parent, const QString& text, const QString& title,
                                          const QString& other) = 0;
    // One of items picked from a short list, or nullopt when cancelled.
    virtual std::optional<int> ChooseItem(QWidget* parent, const QString& title, const QString& prompt,
                                          const QStringList& items) = 0;
    // Starts one of the sounds 101..104 and returns at once; a new sound cuts off the one playing.
    virtual void PlaySound(int id) = 0;
    // An existing folder, or empty when cancelled; the chooser opens in startFolder when one is given.
    virtual QString ChooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder) = 0;
    // A file to open, or empty when cancelled. filter as "backup file (*.mvb)".
    virtual QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter) = 0;
    // A file to write, or empty when cancelled; selectedFilter receives the chosen filter. The
    // chooser itself asks before an existing file is replaced.
    virtual QString ChooseSaveFile(QWidget* parent, const QString& title, const QStringList& filters,
                                   QString* selectedFilter) = 0;
    // A password typed into a masked box, or nullopt when cancelled.
    virtual std::optional<QString> AskPassword(QWidget* parent, const QString& title, const QString& prompt) = 0;
    // Hands an address to the desktop (browser, mail client); the result is not reported.
    virtual void OpenUrl(const QUrl& url) = 0;
    // Shows the print preview, from which the user prints (to a printer or a PDF file); render
    // draws the document on the printer it is given, as often as the preview needs.
    virtual void PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& render) = 0;
};

// The platform in force: the desktop's own unless a test installed another.
Platform& ThePlatform();
// Installs a replacement (not owned); nullptr goes back to the desktop's own.
void SetPlatform(Platform* platform);
