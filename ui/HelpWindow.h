#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QWidget>

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QTextBrowser;

// The pages forms ask for: each is <id>.html in the help folder of the language in use.
namespace HelpPage {
inline const QString Contents = QStringLiteral("index");
inline const QString Login = QStringLiteral("login");
inline const QString Forget = QStringLiteral("forget");
inline const QString NewUser = QStringLiteral("newuser");
inline const QString Users = QStringLiteral("users");
inline const QString Contact = QStringLiteral("contacts");
inline const QString Type = QStringLiteral("types");
inline const QString Options = QStringLiteral("options");
inline const QString About = QStringLiteral("about");
inline const QString Sync = QStringLiteral("sync");
} // namespace HelpPage

// Opens the one help window at a page (the contents when the id is empty or unknown) and brings
// it to the front, usable beside a modal dialog that is open.
void ShowHelp(const QString& page = HelpPage::Contents);
// F1 anywhere in the form opens its page.
void InstallHelpKey(QWidget* form, const QString& page);
// Where the pages of the language in use are: the folder the language file names in [Info]
// HelpFolder, built in (":/help/<name>/") or beside the language file, else the English pages.
QString HelpFolder();

// A browsable, searchable help window: contents and search results on the left, the page on
// the right, back, forward and home above.
class frmHelp : public QWidget
{
    Q_OBJECT

public:
    frmHelp();

    void ShowPage(const QString& page);
    // The id of the page shown ("index" for the contents).
    QString CurrentPage() const;
    // The folder the window reads its pages from; a window for another language is made afresh.
    QString Folder() const { return m_folder; }
    // Ids of the pages holding every word of text, ignoring case; words are matched as parts of
    // the text, so Chinese needs no word breaks. The most relevant first.
    QStringList Search(const QString& text) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Page
    {
        QString id;
        QString title;
        QString text; // plain text, folded to lower case, for the search
    };
    void LoadPages();
    void BuildWindow();
    void RunSearch();
    void OpenItem(QListWidgetItem* item);
    void SourceChanged(const QUrl& source);
    QUrl UrlOf(const QString& page) const;

    QString m_folder;
    QList<Page> m_pages; // contents order
    QTextBrowser* txtPage = nullptr;
    QLineEdit* txtSearch = nullptr;
    QTabWidget* tabNav = nullptr;
    QListWidget* lstContents = nullptr;
    QListWidget* lstResults = nullptr;
    QAction* cmdBack = nullptr;
    QAction* cmdForward = nullptr;
    QAction* cmdHome = nullptr;
};
