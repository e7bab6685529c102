#include "main/ContactPane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPixmap>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "store/Recordset.h"
#include "ui/Colours.h"
#include "ui/Platform.h"

namespace {

const QString Section = QStringLiteral("frmMain");
constexpr int PhotoSize = 96; // logical pixels of the photo's longer side
constexpr int LongWord = 24;  // a word this long may break inside, so it wraps in a narrow pane

// The record's own fields as the view names them, in the order the pane shows them.
constexpr const char16_t* RecordColumns[] = {u"Name", u"F_Phone1", u"F_MobilePhone1", u"C_Phone1", u"EMailList", u"QQ",
                                             u"MSN",  u"ICQ",      u"TypeName"};
enum RecordField { Name, HomePhone, MobilePhone, WorkPhone, Mail, QQ, MSN, ICQ, TypeName };

// Lets an address or number without blanks wrap in a narrow pane: a zero-width space after each
// at-sign, dot, slash and the like, and inside any word longer than LongWord. What is copied or
// opened is the value itself.
QString Breakable(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 4);
    int run = 0;
    for (const QChar c : text) {
        out.append(c);
        run = c.isSpace() ? 0 : run + 1;
        if (c == u'@' || c == u'.' || c == u'/' || c == u'-' || c == u'_' || c == u'&' || c == u'?' || c == u'=' ||
            run >= LongWord) {
            out.append(QChar(0x200B));
            run = 0;
        }
    }
    return out;
}

QString Joined(const QStringList& parts, const QString& separator)
{
    QStringList kept;
    for (const QString& part : parts) {
        if (!part.trimmed().isEmpty()) {
            kept.append(part.trimmed());
        }
    }
    return kept.join(separator);
}

// Mixes two colours: captions a little quieter than the values, still well readable.
QColor Mixed(const QColor& a, const QColor& b, double share)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() * share + b.redF() * (1 - share)),
                            static_cast<float>(a.greenF() * share + b.greenF() * (1 - share)),
                            static_cast<float>(a.blueF() * share + b.blueF() * (1 - share)));
}

QLabel* PlainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText); // a contact's text is never taken as markup
    label->setText(text);
    label->setForegroundRole(QPalette::Text);
    return label;
}

} // namespace

PaneLink::PaneLink(const QString& value, const QString& shown, QUrl url, QWidget* parent)
    : QLabel(parent), m_value(value), m_url(std::move(url))
{
    setObjectName(QStringLiteral("PaneLink"));
    setTextFormat(Qt::PlainText);
    setText(Breakable(shown));
    setWordWrap(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setToolTip(m_url.toString());
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    ApplyLinkColour();
}

void PaneLink::ApplyLinkColour()
{
    QPalette p = palette();
    m_colour = LinkColour(p);
    p.setColor(QPalette::Text, m_colour);
    p.setColor(QPalette::WindowText, m_colour);
    setForegroundRole(QPalette::Text);
    setPalette(p);
}

void PaneLink::Open()
{
    if (m_url.isValid()) {
        ThePlatform().OpenUrl(m_url);
    }
}

void PaneLink::Copy()
{
    QApplication::clipboard()->setText(m_value);
}

void PaneLink::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void PaneLink::mouseReleaseEvent(QMouseEvent* event)
{
    // A click is a press and a release on the link; a press dragged off it opens nothing.
    if (std::exchange(m_pressed, false) && event->button() == Qt::LeftButton &&
        rect().contains(event->position().toPoint())) {
        Open();
    }
    QLabel::mouseReleaseEvent(event);
}

void PaneLink::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        Open();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        Copy();
        return;
    }
    QLabel::keyPressEvent(event);
}

void PaneLink::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("PaneLinkMenu"));
    const bool mail = m_url.scheme() == QLatin1String("mailto");
    QAction* open =
        menu.addAction(mail ? GetLangString(Section, QStringLiteral("72020"), QStringLiteral("Write E-mail"))
                            : GetLangString(Section, QStringLiteral("72019"), QStringLiteral("C&all")));
    open->setObjectName(QStringLiteral("PaneLinkOpen"));
    open->setEnabled(m_url.isValid());
    QAction* copy = menu.addAction(GetLangString(Section, QStringLiteral("72018"), QStringLiteral("Copy")));
    copy->setObjectName(QStringLiteral("PaneLinkCopy"));
    connect(open, &QAction::triggered, this, &PaneLink::Open);
    connect(copy, &QAction::triggered, this, &PaneLink::Copy);
    menu.exec(event->globalPos());
}

void PaneLink::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && LinkColour(palette()) != m_colour) {
        ApplyLinkColour(); // the desktop switched between its light and dark scheme
    }
}

ContactPane::ContactPane(AddressBook& book, QWidget* parent) : QScrollArea(parent), m_book(book)
{
    setObjectName(QStringLiteral("ContactPane"));
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff); // long texts wrap instead
    setFrameShape(QFrame::StyledPanel);
    setBackgroundRole(QPalette::Base);
    setAccessibleName(Lang("72004", "Contact details"));
    connect(&m_book, &AddressBook::ContactsChanged, this, &ContactPane::Book_ContactsChanged);
    connect(&m_book, &AddressBook::ContactsMoved, this,
            [this](const QList<qint64>& ids) { Book_ContactsChanged(ids); }); // its type shows
    connect(&m_book, &AddressBook::ContactsRemoved, this, &ContactPane::Book_ContactsRemoved);
    ShowNothing();
}

QString ContactPane::Lang(const char* key, const char* english) const
{
    // Each lookup reads the language file: the captions are looked up once, not for every contact.
    const QLatin1String name(key);
    auto found = m_captions.constFind(name);
    if (found == m_captions.constEnd()) {
        found = m_captions.insert(name, GetLangString(Section, name, QLatin1String(english)));
    }
    return *found;
}

void ContactPane::ShowNothing()
{
    if (m_id == -1 && widget() != nullptr) {
        return; // the placeholder shows already
    }
    m_id = -1;
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    QLabel* placeholder = PlainLabel(Lang("72003", "Select a contact to see its details here."), content);
    placeholder->setObjectName(QStringLiteral("PanePlaceholder"));
    placeholder->setWordWrap(true);
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setForegroundRole(QPalette::PlaceholderText);
    layout->addStretch(1);
    layout->addWidget(placeholder);
    layout->addStretch(2);
    m_shown = QStringList{placeholder->text()};
    Replace(content);
}

void ContactPane::ShowContact(qint64 pwdId)
{
    if (pwdId == m_id) {
        return;
    }
    m_id = pwdId;
    Reload();
}

void ContactPane::Reload()
{
    if (m_id < 0) {
        return;
    }
    const qint64 id = m_id;
    QStringList fields;
    QString url;
    ContactDetails details;
    try {
        Recordset rs;
        OpenRecordView(rs, m_book.Conn(), id);
        if (rs.RecordCount() == 0) {
            ReleaseRecordset(rs);
            ShowNothing();
            return;
        }
        for (const char16_t* column : RecordColumns) {
            const QString text = rs.IsNull(column) ? QString() : rs.Text(column);
            fields.append(column == RecordColumns[TypeName] ? text : Decrypt(text));
        }
        url = rs.IsNull(u"Url") ? QString() : rs.Text(u"Url");
        ReleaseRecordset(rs);
        details = ReadContactDetails(m_book.Conn(), id);
    } catch (...) {
        // The pane only shows: a book that cannot be read now shows nothing, and the list, which
        // reads the same book, reports the error where the user acts.
        ShowNothing();
        return;
    }
    Fill(fields, url, details);
}

void ContactPane::Replace(QWidget* content)
{
    content->setObjectName(QStringLiteral("PaneContent"));
    content->setBackgroundRole(QPalette::Base);
    if (QWidget* old = takeWidget()) {
        old->hide();
        old->setParent(nullptr);
        old->deleteLater(); // a link of it may be the one that is being clicked
    }
    setWidget(content);
    setAccessibleDescription(m_shown.join(QLatin1Char('\n')));
}

void ContactPane::AddRow(QGridLayout* grid, const QString& caption, QWidget* value)
{
    const int row = grid->rowCount();
    QLabel* label = PlainLabel(caption, grid->parentWidget());
    label->setObjectName(QStringLiteral("PaneCaption"));
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    QPalette p = label->palette();
    p.setColor(QPalette::Text,
               ReadableOn(Mixed(p.color(QPalette::Text), p.color(QPalette::Base), 0.72), p.color(QPalette::Base)));
    label->setPalette(p);
    grid->addWidget(label, row, 0);
    grid->addWidget(value, row, 1);
}

void ContactPane::AddText(QGridLayout* grid, const QString& caption, const QString& text)
{
    if (text.trimmed().isEmpty()) {
        return;
    }
    QLabel* value = PlainLabel(Breakable(text), grid->parentWidget());
    value->setObjectName(QStringLiteral("PaneValue"));
    value->setWordWrap(true);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setAccessibleName(caption + QLatin1String(": ") + text);
    AddRow(grid, caption, value);
    m_shown.append(caption + QLatin1String(": ") + text);
}

void ContactPane::AddLink(QGridLayout* grid, const QString& caption, const QString& value, const QUrl& url)
{
    if (value.trimmed().isEmpty()) {
        return;
    }
    auto* link = new PaneLink(value.trimmed(), value.trimmed(), url, grid->parentWidget());
    link->setAccessibleName(caption + QLatin1String(": ") + value.trimmed());
    link->setAccessibleDescription(Lang("72026", "Enter opens it, Ctrl+C copies it; the context menu offers both."));
    AddRow(grid, caption, link);
    m_shown.append(caption + QLatin1String(": ") + value.trimmed());
}

void ContactPane::Fill(const QStringList& fields, const QString& url, const ContactDetails& d)
{
    m_shown.clear();
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);

    // The head: photo beside the name, organisation and title.
    auto* head = new QHBoxLayout;
    QPixmap photo;
    if (!d.photo.isEmpty() && photo.loadFromData(d.photo)) {
        const qreal ratio = devicePixelRatioF();
        const int side = qRound(PhotoSize * ratio);
        photo = photo.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        photo.setDevicePixelRatio(ratio);
        auto* picture = new QLabel(content);
        picture->setObjectName(QStringLiteral("PanePhoto"));
        picture->setPixmap(photo);
        picture->setAlignment(Qt::AlignTop);
        picture->setAccessibleName(Lang("72021", "Photo of %1").replace(QLatin1String("%1"), fields[Name]));
        head->addWidget(picture, 0, Qt::AlignTop);
    }
    auto* names = new QVBoxLayout;
    QLabel* name = PlainLabel(Breakable(fields[Name]), content);
    name->setObjectName(QStringLiteral("PaneName"));
    name->setWordWrap(true);
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont big = name->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    name->setFont(big);
    names->addWidget(name);
    m_shown.append(fields[Name]);
    for (const QString& line : {Joined({d.title, d.role}, QStringLiteral(", ")),
                                Joined({d.organisation, d.department}, QStringLiteral(", "))}) {
        if (!line.isEmpty()) {
            QLabel* label = PlainLabel(Breakable(line), content);
            label->setObjectName(QStringLiteral("PaneOrganisation"));
            label->setWordWrap(true);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            names->addWidget(label);
            m_shown.append(line);
        }
    }
    names->addStretch(1);
    head->addLayout(names, 1);
    layout->addLayout(head);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(12);
    layout->addLayout(grid);
    layout->addStretch(1);

    const QString homePhone = Lang("60002", "Home Phone");
    const QString mobile = Lang("60003", "Mobile");
    const QString workPhone = Lang("60004", "Work Phone");
    AddLink(grid, homePhone, fields[HomePhone], PhoneUrl(fields[HomePhone]));
    AddLink(grid, mobile, fields[MobilePhone], PhoneUrl(fields[MobilePhone]));
    AddLink(grid, workPhone, fields[WorkPhone], PhoneUrl(fields[WorkPhone]));
    for (const TypedValue& phone : d.phones) {
        const QString caption = phone.type == QLatin1String("home")    ? homePhone
                                : phone.type == QLatin1String("cell")  ? mobile
                                : phone.type == QLatin1String("work")  ? workPhone
                                : phone.type == QLatin1String("fax")   ? Lang("72010", "Fax")
                                : phone.type == QLatin1String("pager") ? Lang("72011", "Pager")
                                                                       : Lang("72012", "Other Phone");
        AddLink(grid, caption, phone.value, PhoneUrl(phone.value));
    }
    const QString mailCaption = Lang("60005", "E-mail");
    const QStringList addresses = MailAddresses(fields[Mail]);
    for (const QString& address : addresses) {
        AddLink(grid, mailCaption, address, MailUrl(address));
    }
    if (addresses.isEmpty()) {
        AddText(grid, mailCaption, fields[Mail]); // no address in it to write to: shown as it is
    }
    for (const PostalAddress& a : d.addresses) {
        const QString town =
            a.region.trimmed().isEmpty()
                ? Joined({a.postalCode, a.locality}, QStringLiteral(" "))
                : Joined({Joined({a.locality, a.region}, QStringLiteral(", ")), a.postalCode}, QStringLiteral(" "));
        const QString lines = Joined({a.street, a.extended, a.poBox, town, a.country}, QStringLiteral("\n"));
        AddText(grid,
                a.type == QLatin1String("home")   ? Lang("72007", "Home Address")
                : a.type == QLatin1String("work") ? Lang("72008", "Work Address")
                                                  : Lang("72009", "Address"),
                lines);
    }
    const QLocale locale = ReadingLocale();
    AddText(grid, Lang("72013", "Birthday"), DateText(d.birthday, locale));
    AddText(grid, Lang("72014", "Anniversary"), DateText(d.anniversary, locale));
    AddText(grid, Lang("72015", "Web Address"), url.trimmed());
    for (const TypedValue& web : d.urls) {
        AddText(grid,
                web.type == QLatin1String("home")   ? Lang("72024", "Home Web Address")
                : web.type == QLatin1String("work") ? Lang("72023", "Work Web Address")
                                                    : Lang("72015", "Web Address"),
                web.value);
    }
    AddText(grid, Lang("60006", "QQ"), fields[QQ]);
    AddText(grid, Lang("60007", "MSN"), fields[MSN]);
    AddText(grid, Lang("60008", "ICQ"), fields[ICQ]);
    for (const TypedValue& messenger : d.messengers) {
        AddText(grid, Lang("50049", "IM (%1)").replace(QLatin1String("%1"), messenger.type), messenger.value);
    }
    AddText(grid, Lang("72016", "Nickname"), d.nicknames.join(QStringLiteral(", ")));
    AddText(grid, Lang("72017", "Note"), d.note);
    AddText(grid, Lang("40002", "Type"), fields[TypeName]);
    Replace(content);
}

QString ContactPane::DateText(const ContactDate& date, const QLocale& locale)
{
    if (date.IsNull()) {
        return {};
    }
    // A leap year, so that 29 February without a year is a date too.
    const QDate day(date.year != 0 ? date.year : 2000, date.month, date.day);
    if (!day.isValid()) {
        return date.ToText();
    }
    // The language's long date without the weekday, which a birthday does not need.
    static const QRegularExpression weekday(QStringLiteral("[,，\\s]*d{4}[,，\\s]*"));
    static const QRegularExpression year(QStringLiteral("[,，\\s]*y+年?[,，\\s]*"));
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.replace(weekday, QStringLiteral(" "));
    if (date.year == 0) {
        format.replace(year, QStringLiteral(" "));
        // A quoted word that belonged to the year ("'de' y") goes with it.
        static const QRegularExpression dangling(QStringLiteral("\\s*'[^']*'\\s*$"));
        format.remove(dangling);
    }
    return locale.toString(day, format.trimmed());
}

QUrl ContactPane::PhoneUrl(const QString& number)
{
    QString dial;
    for (const QChar c : number) {
        if (c.isDigit() || c == u'*' || c == u'#' || (c == u'+' && dial.isEmpty())) {
            dial.append(c.isDigit() ? QChar(u'0' + c.digitValue()) : c);
        } else if ((c == u',' || c == u';' || c == u'p' || c == u'w') && !dial.isEmpty()) {
            dial.append(c == u'p' ? QChar(u',') : c == u'w' ? QChar(u';') : c);
        }
    }
    if (!std::any_of(dial.cbegin(), dial.cend(), [](QChar c) { return c.isDigit(); })) {
        return {};
    }
    QUrl url;
    url.setScheme(QStringLiteral("tel"));
    url.setPath(dial);
    return url;
}

QUrl ContactPane::MailUrl(const QString& address)
{
    const QString trimmed = address.trimmed();
    // One address, no more: a list, a header (?cc=, &body=) or a blank would change what is sent.
    static const QRegularExpression plain(
        QStringLiteral("^[^\\s@<>()\\[\\]\\\\,;:\"?&/]+@[^\\s@<>()\\[\\]\\\\,;:\"?&/]+$"));
    if (!plain.match(trimmed).hasMatch()) {
        return {};
    }
    QUrl url;
    url.setScheme(QStringLiteral("mailto"));
    url.setPath(trimmed);
    return url;
}

QStringList ContactPane::MailAddresses(const QString& list)
{
    QStringList addresses;
    static const QRegularExpression separators(QStringLiteral("[;,\\s]+"));
    for (const QString& part : list.split(separators, Qt::SkipEmptyParts)) {
        addresses.append(part);
    }
    return addresses;
}

QStringList ContactPane::ShownTexts() const
{
    return m_shown;
}

void ContactPane::changeEvent(QEvent* event)
{
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        m_captions.clear();
    }
    if ((event->type() == QEvent::PaletteChange || event->type() == QEvent::LanguageChange) && m_id >= 0) {
        Reload(); // captions mixed from the new colours, texts in the new language
    }
}

void ContactPane::Book_ContactsChanged(const QList<qint64>& ids)
{
    if (m_id >= 0 && ids.contains(m_id)) {
        Reload();
    }
}

void ContactPane::Book_ContactsRemoved(const QList<qint64>& ids)
{
    if (m_id >= 0 && ids.contains(m_id)) {
        ShowNothing();
    }
}
