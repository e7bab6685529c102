#include "ui/HelpWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include "core/AppState.h"
#include "core/Language.h"
#include "ui/ApplyLanguage.h"
#include "ui/Colours.h"
#include "ui/FormState.h"
#include "ui/Forms.h"

namespace {

constexpr int IdRole = Qt::UserRole;

QString Caption(const char* key, const char* fallback)
{
    return GetLangString(QStringLiteral("frmHelp"), QLatin1String(key), QLatin1String(fallback));
}

QString ReadPage(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

bool HasPages(const QString& folder)
{
    return QFileInfo::exists(folder + HelpPage::Contents + QStringLiteral(".html"));
}

// Kept out of the pages so that every language's pages look the same and stay plain.
const char* const PageStyle = "h1 { font-size: x-large; margin-bottom: 8px; }"
                              "h2 { font-size: large; margin-top: 14px; }"
                              "p, li { margin-top: 3px; margin-bottom: 3px; }"
                              "img { margin: 6px; }"
                              ".key { font-weight: bold; }";

} // namespace

QString HelpFolder()
{
    const QString name = GetLangString(QStringLiteral("Info"), QStringLiteral("HelpFolder"), QStringLiteral("eng"));
    const QString builtIn = QStringLiteral(":/help/%1/").arg(name);
    if (!name.contains(u'/') && !name.contains(u'\\') && HasPages(builtIn)) {
        return builtIn;
    }
    // A language that comes with its own pages keeps them in a folder next to its language file.
    const QString beside = QFileInfo(LangFile).absoluteDir().filePath(name) + QLatin1Char('/');
    if (!name.isEmpty() && HasPages(beside)) {
        return beside;
    }
    return QStringLiteral(":/help/eng/");
}

void ShowHelp(const QString& page)
{
    frmHelp* loaded = FormInstance<frmHelp>::IfLoaded();
    if (loaded != nullptr && loaded->Folder() != HelpFolder()) {
        FormInstance<frmHelp>::Unload();
    }
    frmHelp& help = Form<frmHelp>();
    help.ShowPage(page);
    // A modal dialog blocks every other window but those that stand above it; the help window
    // must stay usable while the user reads it beside the dialog it explains.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != &help) {
        help.winId();
        QWindow* window = help.windowHandle();
        if (window->transientParent() != modal->windowHandle()) {
            const bool visible = help.isVisible();
            help.hide(); // showing again is what makes Qt look again at whether it is blocked
            window->setTransientParent(modal->windowHandle());
            if (visible) {
                help.show();
            }
        }
    }
    help.show();
    help.raise();
    help.activateWindow();
}

void InstallHelpKey(QWidget* form, const QString& page)
{
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), form);
    key->setObjectName(QStringLiteral("HelpKey"));
    key->setContext(Qt::WindowShortcut);
    QObject::connect(key, &QShortcut::activated, form, [page] { ShowHelp(page); });
}

frmHelp::frmHelp() : m_folder(HelpFolder())
{
    setObjectName(QStringLiteral("frmHelp"));
    setWindowFlag(Qt::Window);
    // Left open, it must not keep the program running once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowIcon(QIcon(QStringLiteral(":/icons/help-22.png")));
    LoadPages();
    BuildWindow();
    ApplyLanguage(this);
    txtSearch->setPlaceholderText(Caption("104", "Search help"));
    tabNav->setTabText(0, Caption("105", "Contents"));
    tabNav->setTabText(1, Caption("106", "Search Results"));
    // What a screen reader says for each part.
    txtSearch->setAccessibleName(Caption("104", "Search help"));
    tabNav->setAccessibleName(Caption("108", "Help pages"));
    lstContents->setAccessibleName(Caption("105", "Contents"));
    lstResults->setAccessibleName(Caption("106", "Search Results"));
    txtPage->setAccessibleName(Caption("109", "Help page"));
    resize(900, 640);
    RestoreFormState(this);
}

void frmHelp::LoadPages()
{
    const QStringList files = QDir(m_folder).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    QStringList order;
    // The contents page's links give the order; pages it does not link come last.
    static const QRegularExpression link(QStringLiteral("href=\"([A-Za-z0-9_-]+)\\.html[\"#]"));
    const QString index = ReadPage(m_folder + HelpPage::Contents + QStringLiteral(".html"));
    for (auto it = link.globalMatch(index); it.hasNext();) {
        const QString id = it.next().captured(1);
        if (!order.contains(id) && files.contains(id + QStringLiteral(".html"))) {
            order.append(id);
        }
    }
    for (const QString& file : files) {
        const QString id = QFileInfo(file).completeBaseName();
        if (id != HelpPage::Contents && !order.contains(id)) {
            order.append(id);
        }
    }
    order.prepend(HelpPage::Contents);
    for (const QString& id : std::as_const(order)) {
        QTextDocument document;
        document.setHtml(ReadPage(m_folder + id + QStringLiteral(".html")));
        QString title = document.metaInformation(QTextDocument::DocumentTitle);
        m_pages.append({id, title.isEmpty() ? id : title, document.toPlainText()});
    }
}

void frmHelp::BuildWindow()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("Toolbar1"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    auto command = [this, bar](const char* name, const char* tag, QStyle::StandardPixmap icon,
                               const QKeySequence& key) {
        QAction* action = bar->addAction(style()->standardIcon(icon), QLatin1String(name));
        action->setObjectName(QLatin1String(name));
        action->setProperty("Tag", QLatin1String(tag));
        action->setShortcut(key);
        return action;
    };
    cmdBack = command("cmdBack", "101", QStyle::SP_ArrowBack, QKeySequence::Back);
    cmdForward = command("cmdForward", "102", QStyle::SP_ArrowForward, QKeySequence::Forward);
    cmdHome = command("cmdHome", "103", QStyle::SP_DirHomeIcon, QKeySequence(Qt::ALT | Qt::Key_Home));
    layout->addWidget(bar);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("Splitter"));
    auto* side = new QWidget(splitter);
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(6, 6, 0, 6);
    txtSearch = new QLineEdit(side);
    txtSearch->setObjectName(QStringLiteral("txtSearch"));
    txtSearch->setClearButtonEnabled(true);
    sideLayout->addWidget(txtSearch);
    tabNav = new QTabWidget(side);
    tabNav->setObjectName(QStringLiteral("tabNav"));
    lstContents = new QListWidget(tabNav);
    lstContents->setObjectName(QStringLiteral("lstContents"));
    lstResults = new QListWidget(tabNav);
    lstResults->setObjectName(QStringLiteral("lstResults"));
    for (QListWidget* list : {lstContents, lstResults}) {
        // Long titles wrap rather than hide behind a scroll bar.
        list->setWordWrap(true);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setSpacing(2);
    }
    tabNav->addTab(lstContents, QString());
    tabNav->addTab(lstResults, QString());
    sideLayout->addWidget(tabNav);

    txtPage = new QTextBrowser(splitter);
    txtPage->setObjectName(QStringLiteral("txtPage"));
    txtPage->setOpenLinks(true);
    txtPage->setOpenExternalLinks(false);
    // Notes in a grey two thirds of the way from the page's background to its text (#555555 on
    // white), so they read on a dark scheme too.
    const QColor base = txtPage->palette().color(QPalette::Base).toRgb();
    const QColor text = txtPage->palette().color(QPalette::Text).toRgb();
    auto mix = [](int from, int to) { return from + (to - from) * 2 / 3; };
    const QColor note = ReadableOn(
        QColor(mix(base.red(), text.red()), mix(base.green(), text.green()), mix(base.blue(), text.blue())), base);
    txtPage->document()->setDefaultStyleSheet(QLatin1String(PageStyle) +
                                              QStringLiteral(".note { color: %1; }").arg(note.name()));
    txtPage->document()->setDocumentMargin(12);
    splitter->addWidget(side);
    splitter->addWidget(txtPage);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 640});
    layout->addWidget(splitter, 1);

    for (const Page& page : std::as_const(m_pages)) {
        if (page.id == HelpPage::Contents) {
            continue;
        }
        auto* item = new QListWidgetItem(page.title, lstContents);
        item->setData(IdRole, page.id);
    }

    connect(cmdBack, &QAction::triggered, txtPage, &QTextBrowser::backward);
    connect(cmdForward, &QAction::triggered, txtPage, &QTextBrowser::forward);
    connect(cmdHome, &QAction::triggered, this, [this] { ShowPage(HelpPage::Contents); });
    connect(txtPage, &QTextBrowser::backwardAvailable, cmdBack, &QAction::setEnabled);
    connect(txtPage, &QTextBrowser::forwardAvailable, cmdForward, &QAction::setEnabled);
    connect(txtPage, &QTextBrowser::sourceChanged, this, &frmHelp::SourceChanged);
    connect(txtSearch, &QLineEdit::textChanged, this, &frmHelp::RunSearch);
    connect(txtSearch, &QLineEdit::returnPressed, this, [this] {
        if (lstResults->count() > 0) {
            OpenItem(lstResults->item(0));
        }
    });
    connect(lstContents, &QListWidget::itemActivated, this, &frmHelp::OpenItem);
    connect(lstContents, &QListWidget::itemClicked, this, &frmHelp::OpenItem);
    connect(lstResults, &QListWidget::itemActivated, this, &frmHelp::OpenItem);
    connect(lstResults, &QListWidget::itemClicked, this, &frmHelp::OpenItem);
    cmdBack->setEnabled(false);
    cmdForward->setEnabled(false);

    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        txtSearch->setFocus(Qt::ShortcutFocusReason);
        txtSearch->selectAll();
    });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    // F1 in the help window itself leads to the contents.
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(help, &QShortcut::activated, this, [this] { ShowPage(HelpPage::Contents); });
}

QUrl frmHelp::UrlOf(const QString& page) const
{
    const QString path = m_folder + page + QStringLiteral(".html");
    if (path.startsWith(QLatin1String(":/"))) {
        return QUrl(QStringLiteral("qrc") + path);
    }
    return QUrl::fromLocalFile(path);
}

void frmHelp::ShowPage(const QString& page)
{
    const bool known = std::any_of(m_pages.cbegin(), m_pages.cend(), [&](const Page& p) { return p.id == page; });
    const QUrl url = UrlOf(known ? page : HelpPage::Contents);
    if (txtPage->source() != url) {
        txtPage->setSource(url);
    }
}

QString frmHelp::CurrentPage() const
{
    return QFileInfo(txtPage->source().path()).completeBaseName();
}

void frmHelp::SourceChanged(const QUrl& source)
{
    const QString id = QFileInfo(source.path()).completeBaseName();
    setWindowTitle(Caption("10000", "Tavoren Help") + QStringLiteral(" - ") + txtPage->documentTitle());
    const QSignalBlocker blocker(lstContents);
    lstContents->clearSelection();
    for (int row = 0; row < lstContents->count(); ++row) {
        if (lstContents->item(row)->data(IdRole).toString() == id) {
            lstContents->setCurrentRow(row);
            break;
        }
    }
}

QStringList frmHelp::Search(const QString& text) const
{
    const QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        return {};
    }
    // The pages about the words come first: those naming them in the title, then those using
    // them most; otherwise contents order.
    struct Hit
    {
        qsizetype inTitle;
        qsizetype inText;
        QString id;
    };
    QList<Hit> hits;
    for (const Page& page : m_pages) {
        Hit hit{0, 0, page.id};
        for (const QString& word : words) {
            const qsizetype inText = page.text.count(word, Qt::CaseInsensitive);
            if (inText == 0 || page.id == HelpPage::Contents) {
                hit.inText = 0;
                break;
            }
            hit.inTitle += page.title.contains(word, Qt::CaseInsensitive) ? 1 : 0;
            hit.inText += inText;
        }
        if (hit.inText > 0) {
            hits.append(hit);
        }
    }
    std::stable_sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
        return a.inTitle != b.inTitle ? a.inTitle > b.inTitle : a.inText > b.inText;
    });
    QStringList found;
    for (const Hit& hit : std::as_const(hits)) {
        found.append(hit.id);
    }
    return found;
}

void frmHelp::RunSearch()
{
    lstResults->clear();
    const QString text = txtSearch->text();
    if (text.trimmed().isEmpty()) {
        tabNav->setCurrentWidget(lstContents);
        return;
    }
    const QStringList found = Search(text);
    for (const QString& id : found) {
        const auto page = std::find_if(m_pages.cbegin(), m_pages.cend(), [&](const Page& p) { return p.id == id; });
        auto* item = new QListWidgetItem(page->title, lstResults);
        item->setData(IdRole, id);
    }
    if (found.isEmpty()) {
        auto* item = new QListWidgetItem(Caption("107", "No page contains these words."), lstResults);
        item->setFlags(Qt::NoItemFlags);
    }
    tabNav->setCurrentWidget(lstResults);
}

void frmHelp::OpenItem(QListWidgetItem* item)
{
    const QString id = item != nullptr ? item->data(IdRole).toString() : QString();
    if (id.isEmpty()) {
        return;
    }
    ShowPage(id);
    // Take the reader straight to the first place the words are found.
    if (tabNav->currentWidget() == lstResults) {
        const QStringList words =
            txtSearch->text().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (!words.isEmpty()) {
            txtPage->moveCursor(QTextCursor::Start);
            txtPage->find(words.first());
        }
    }
}

void frmHelp::closeEvent(QCloseEvent* event)
{
    SaveFormState(this);
    QWidget::closeEvent(event);
}
