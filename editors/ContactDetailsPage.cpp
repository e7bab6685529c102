#include "editors/ContactDetailsPage.h"

#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLocale>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QVBoxLayout>

#include "core/Language.h"
#include "ui/Common.h"
#include "ui/DialogKit.h"
#include "ui/Platform.h"

namespace {

// The editor's texts live in its own section of the language file.
QString Text(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("frmPWD"), QLatin1String(key), QString::fromUtf8(english));
}

TextBox* Box(const char* name, QWidget* parent)
{
    auto* box = new TextBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setSelectOnFocus(false);
    box->setWidthChars(24);
    return box;
}

QPushButton* Button(const char* name, const char* key, const char* english, const char* tipKey, const char* tip,
                    QWidget* parent)
{
    auto* button = new QPushButton(Text(key, english), parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(Text(tipKey, tip));
    button->setAutoDefault(false); // Enter in a box still saves the contact
    return button;
}

QGroupBox* Group(const char* name, const char* key, const char* english, QWidget* parent)
{
    auto* group = new QGroupBox(Text(key, english), parent);
    group->setObjectName(QLatin1String(name));
    return group;
}

QLabel* Label(const char* key, const char* english, QWidget* buddy)
{
    auto* label = new QLabel(Text(key, english), buddy->parentWidget());
    label->setBuddy(buddy);
    return label;
}

// Fills a type chooser, adding a type it does not know (one an import brought) under its own name.
void SelectType(QComboBox* chooser, const QString& type)
{
    int index = chooser->findData(type);
    if (index < 0 && chooser->isEditable()) {
        chooser->setEditText(type);
        return;
    }
    if (index < 0) {
        chooser->addItem(type, type);
        index = chooser->count() - 1;
    }
    chooser->setCurrentIndex(index);
}

QString TypeOf(const QComboBox* chooser)
{
    if (chooser->isEditable()) {
        return chooser->currentText().trimmed();
    }
    return chooser->currentData().toString();
}

// Brings the tab that holds the page to the front, so a box it refuses is seen.
void Reveal(QWidget* page)
{
    for (QWidget* w = page; w != nullptr; w = w->parentWidget()) {
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                if (tabs->widget(i)->isAncestorOf(page)) {
                    tabs->setCurrentIndex(i);
                }
            }
            return;
        }
    }
}

} // namespace

std::optional<ContactDate> ParseTypedDate(const QString& typed)
{
    const QString text = typed.trimmed();
    if (text.isEmpty()) {
        return ContactDate();
    }
    if (auto date = ContactDate::FromText(text)) {
        return date;
    }
    // A month and day alone: "04-12" or "4-12".
    static const QRegularExpression monthDay(QStringLiteral("^(\\d{1,2})-(\\d{1,2})$"));
    if (const QRegularExpressionMatch m = monthDay.match(text); m.hasMatch()) {
        return ContactDate::FromText(QStringLiteral("--%1-%2")
                                         .arg(m.captured(1).toInt(), 2, 10, QLatin1Char('0'))
                                         .arg(m.captured(2).toInt(), 2, 10, QLatin1Char('0')));
    }
    // The locale's short date, with its year written out in full or in two digits.
    const QLocale locale;
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QString fullYear = format;
    if (!fullYear.contains(QLatin1String("yyyy"))) {
        fullYear.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    }
    for (const QString& f : {fullYear, format}) {
        const QDate date = locale.toDate(text, f);
        if (date.isValid()) {
            return ContactDate{date.year(), date.month(), date.day()};
        }
    }
    return std::nullopt;
}

QString ShowDate(const ContactDate& date)
{
    return date.year == 0 ? date.ToText().mid(2) : date.ToText();
}

PhotoWell::PhotoWell(QWidget* parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("picPhoto"));
    setAcceptDrops(true);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::StyledPanel);
    setWordWrap(true);
    const int side = fontMetrics().height() * 7;
    setFixedSize(side, side);
    setToolTip(Text("68035", "Drop a JPEG or PNG picture here"));
    SetPhoto({});
}

void PhotoWell::SetPhoto(const QByteArray& bytes)
{
    QImage image;
    if (bytes.isEmpty() || !image.loadFromData(bytes)) {
        setPixmap({});
        setText(Text("68057", "No photo"));
        return;
    }
    // Drawn at the screen's own resolution, so it stays sharp at 200 %.
    const qreal ratio = devicePixelRatioF();
    const QSize room = contentsRect().size() * ratio;
    QPixmap pixmap = QPixmap::fromImage(image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    setPixmap(pixmap);
}

void PhotoWell::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile()) {
        event->acceptProposedAction();
    }
}

void PhotoWell::dropEvent(QDropEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile()) {
        event->acceptProposedAction();
        emit FileDropped(urls.first().toLocalFile());
    }
}

TypedRows::TypedRows(const QString& name, const QList<std::pair<QString, QString>>& types, bool editableType,
                     const QString& addText, QWidget* parent)
    : QWidget(parent), m_name(name), m_types(types), m_editableType(editableType)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_rows = new QVBoxLayout;
    layout->addLayout(m_rows);
    m_add = new QPushButton(addText, this);
    m_add->setObjectName(QStringLiteral("CmdAdd") + name);
    m_add->setAutoDefault(false);
    auto* addLine = new QHBoxLayout;
    addLine->addWidget(m_add);
    addLine->addStretch();
    layout->addLayout(addLine);
    connect(m_add, &QPushButton::clicked, this, [this] {
        AddRow({m_types.value(0).first, QString()}).value->setFocus();
        emit RowsChanged();
    });
}

TypedRows::Row& TypedRows::AddRow(const TypedValue& value)
{
    auto* line = new QWidget(this);
    auto* layout = new QHBoxLayout(line);
    layout->setContentsMargins(0, 0, 0, 0);
    Row row{line, new QComboBox(line), Box("", line), nullptr};
    row.type->setObjectName(QStringLiteral("cbo") + m_name + QStringLiteral("Type"));
    row.type->setEditable(m_editableType);
    row.type->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const auto& [stored, shown] : m_types) {
        row.type->addItem(shown, stored);
    }
    SelectType(row.type, value.type);
    row.value->setObjectName(QStringLiteral("txt") + m_name);
    // No label stands beside a line: a screen reader names it after its frame.
    const QString frame = parentWidget() != nullptr ? parentWidget()->property("title").toString() : QString();
    row.type->setAccessibleName(frame);
    row.value->setAccessibleName(frame);
    if (row.type->lineEdit() != nullptr) {
        row.type->lineEdit()->setAccessibleName(frame);
    }
    row.value->setText(value.value);
    row.value->setCursorPosition(0);
    row.remove = Button("", "68024a", "Remove", "68024c", "Remove this line", line);
    row.remove->setObjectName(QStringLiteral("CmdRemove") + m_name);
    layout->addWidget(row.type);
    layout->addWidget(row.value, 1);
    layout->addWidget(row.remove);
    m_rows->addWidget(line);
    line->show(); // at once, so the focus and Tab reach it before the layout's own show
    connect(row.remove, &QPushButton::clicked, this, [this, line] { RemoveRow(line); });
    m_lines.append(row);
    return m_lines.last();
}

void TypedRows::RemoveRow(QWidget* line)
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].line == line) {
            m_lines.removeAt(i);
            // The focus goes on to the next line, or to the add button after the last.
            QWidget* next = i < m_lines.size() ? static_cast<QWidget*>(m_lines[i].value) : m_add;
            next->setFocus();
            break;
        }
    }
    // Out of the page at once: its boxes are no longer checked or saved.
    line->hide();
    line->setParent(nullptr);
    line->deleteLater();
    emit RowsChanged();
}

void TypedRows::SetValues(const QList<TypedValue>& values)
{
    for (const Row& row : std::as_const(m_lines)) {
        delete row.line;
    }
    m_lines.clear();
    for (const TypedValue& value : values) {
        AddRow(value);
    }
    emit RowsChanged();
}

QList<TypedValue> TypedRows::Values() const
{
    QList<TypedValue> values;
    for (const Row& row : m_lines) {
        if (!row.value->text().isEmpty()) {
            values.append({TypeOf(row.type), row.value->text()});
        }
    }
    return values;
}

QList<QWidget*> TypedRows::TabChain() const
{
    QList<QWidget*> chain;
    for (const Row& row : m_lines) {
        chain << row.type << row.value << row.remove;
    }
    return chain << m_add;
}

AddressRows::AddressRows(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_rows = new QVBoxLayout;
    layout->addLayout(m_rows);
    m_add = Button("CmdAddAddress", "68015a", "Add address", "68015c", "Add a postal address", this);
    auto* addLine = new QHBoxLayout;
    addLine->addWidget(m_add);
    addLine->addStretch();
    layout->addLayout(addLine);
    connect(m_add, &QPushButton::clicked, this, [this] {
        PostalAddress address;
        address.type = QStringLiteral("home");
        AddRow(address).parts.first()->setFocus();
        emit RowsChanged();
    });
}

AddressRows::Row& AddressRows::AddRow(const PostalAddress& address)
{
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    auto* form = new QFormLayout(frame);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Row row{frame, new QComboBox(frame), {}, nullptr};
    row.type->setObjectName(QStringLiteral("cboAddressType"));
    row.type->addItem(Text("68040", "Home"), QStringLiteral("home"));
    row.type->addItem(Text("68041", "Work"), QStringLiteral("work"));
    row.type->addItem(Text("68045", "Other"), QStringLiteral("other"));
    SelectType(row.type, address.type.isEmpty() ? QStringLiteral("other") : address.type);
    row.remove = Button("CmdRemoveAddress", "68024a", "Remove", "68024c", "Remove this line", frame);
    auto* typeLine = new QHBoxLayout;
    typeLine->addWidget(row.type);
    typeLine->addStretch();
    typeLine->addWidget(row.remove);
    form->addRow(Label("68023", "Type:", row.type), typeLine);
    const struct
    {
        const char* name;
        const char* key;
        const char* english;
        const QString* value;
    } parts[] = {{"txtStreet", "68016", "Street:", &address.street},
                 {"txtExtended", "68017", "Apartment, suite:", &address.extended},
                 {"txtPoBox", "68018", "PO box:", &address.poBox},
                 {"txtLocality", "68019", "City:", &address.locality},
                 {"txtRegion", "68020", "State or province:", &address.region},
                 {"txtPostalCode", "68021", "Postal code:", &address.postalCode},
                 {"txtCountry", "68022", "Country:", &address.country}};
    for (const auto& part : parts) {
        TextBox* box = Box(part.name, frame);
        box->setText(*part.value);
        box->setCursorPosition(0);
        form->addRow(Label(part.key, part.english, box), box);
        row.parts.append(box);
    }
    m_rows->addWidget(frame);
    frame->show();
    connect(row.remove, &QPushButton::clicked, this, [this, frame] { RemoveRow(frame); });
    m_lines.append(row);
    return m_lines.last();
}

void AddressRows::RemoveRow(QWidget* frame)
{
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].frame == frame) {
            m_lines.removeAt(i);
            QWidget* next = i < m_lines.size() ? static_cast<QWidget*>(m_lines[i].type) : m_add;
            next->setFocus();
            break;
        }
    }
    // Out of the page at once: its boxes are no longer checked or saved.
    frame->hide();
    frame->setParent(nullptr);
    frame->deleteLater();
    emit RowsChanged();
}

void AddressRows::SetAddresses(const QList<PostalAddress>& addresses)
{
    for (const Row& row : std::as_const(m_lines)) {
        delete row.frame;
    }
    m_lines.clear();
    for (const PostalAddress& address : addresses) {
        AddRow(address);
    }
    emit RowsChanged();
}

QList<PostalAddress> AddressRows::Addresses() const
{
    QList<PostalAddress> addresses;
    for (const Row& row : m_lines) {
        PostalAddress a;
        a.type = TypeOf(row.type);
        QString* parts[] = {&a.street, &a.extended, &a.poBox, &a.locality, &a.region, &a.postalCode, &a.country};
        for (int i = 0; i < 7; ++i) {
            *parts[i] = row.parts[i]->text();
        }
        if (!a.IsEmpty()) {
            addresses.append(a);
        }
    }
    return addresses;
}

QList<QWidget*> AddressRows::TabChain() const
{
    QList<QWidget*> chain;
    for (const Row& row : m_lines) {
        chain << row.type << row.remove;
        for (QLineEdit* part : row.parts) {
            chain << part;
        }
    }
    return chain << m_add;
}

ContactDetailsPage::ContactDetailsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("detailsPage"));
    auto* layout = new QVBoxLayout(this);

    // The photo beside the personal details, as on a card.
    auto* top = new QHBoxLayout;
    auto* photo = Group("framePhoto", "68032", "Photo", this);
    auto* photoLayout = new QVBoxLayout(photo);
    m_photoWell = new PhotoWell(photo);
    photoLayout->addWidget(m_photoWell, 0, Qt::AlignHCenter);
    m_choosePhoto = Button("CmdChoosePhoto", "68033a", "C&hoose...", "68033c", "Choose a picture file", photo);
    m_removePhoto = Button("CmdRemovePhoto", "68034a", "Remo&ve", "68034c", "Remove the photo", photo);
    photoLayout->addWidget(m_choosePhoto);
    photoLayout->addWidget(m_removePhoto);
    photoLayout->addStretch();

    auto* personal = Group("framePersonal", "68004", "Personal", this);
    auto* personalForm = new QFormLayout(personal);
    personalForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    personalForm->setRowWrapPolicy(QFormLayout::DontWrapRows);
    personalForm->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_nickname = Box("txtNickname", personal);
    m_nickname->setToolTip(Text("68036", "Several nicknames are separated by commas"));
    m_birthday = Box("txtBirthday", personal);
    m_anniversary = Box("txtAnniversary", personal);
    for (QLineEdit* date : {m_birthday, m_anniversary}) {
        date->setPlaceholderText(Text("68008", "YYYY-MM-DD or MM-DD"));
    }
    personalForm->addRow(Label("68005", "Nickname:", m_nickname), m_nickname);
    personalForm->addRow(Label("68006", "Birthday:", m_birthday), m_birthday);
    personalForm->addRow(Label("68007", "Anniversary:", m_anniversary), m_anniversary);
    top->addWidget(photo);
    top->addWidget(personal, 1);
    layout->addLayout(top);

    auto* work = Group("frameWork", "68009", "Work", this);
    auto* workForm = new QFormLayout(work);
    workForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    workForm->setRowWrapPolicy(QFormLayout::DontWrapRows);
    workForm->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_organisation = Box("txtOrganisation", work);
    m_department = Box("txtDepartment", work);
    m_title = Box("txtJobTitle", work);
    m_role = Box("txtRole", work);
    workForm->addRow(Label("68010", "Organisation:", m_organisation), m_organisation);
    workForm->addRow(Label("68011", "Department:", m_department), m_department);
    workForm->addRow(Label("68012", "Job title:", m_title), m_title);
    workForm->addRow(Label("68013", "Role:", m_role), m_role);
    layout->addWidget(work);

    const QString home = Text("68040", "Home");
    const QString workType = Text("68041", "Work");
    const QString other = Text("68045", "Other");
    auto* phones = Group("framePhones", "68025", "Phones", this);
    m_phones = new TypedRows(QStringLiteral("Phone"),
                             {{QStringLiteral("cell"), Text("68042", "Mobile")},
                              {QStringLiteral("home"), home},
                              {QStringLiteral("work"), workType},
                              {QStringLiteral("fax"), Text("68043", "Fax")},
                              {QStringLiteral("pager"), Text("68044", "Pager")},
                              {QStringLiteral("other"), other}},
                             false, Text("68026a", "Add phone"), phones);
    m_phones->AddButton()->setToolTip(Text("68026c", "Add a phone number"));
    (new QVBoxLayout(phones))->addWidget(m_phones);
    layout->addWidget(phones);

    auto* addresses = Group("frameAddresses", "68014", "Addresses", this);
    m_addresses = new AddressRows(addresses);
    (new QVBoxLayout(addresses))->addWidget(m_addresses);
    layout->addWidget(addresses);

    auto* urls = Group("frameUrls", "68027", "Web addresses", this);
    m_urls = new TypedRows(QStringLiteral("WebAddress"),
                           {{QString(), other}, {QStringLiteral("home"), home}, {QStringLiteral("work"), workType}},
                           false, Text("68028a", "Add web address"), urls);
    m_urls->AddButton()->setToolTip(Text("68028c", "Add a web address"));
    (new QVBoxLayout(urls))->addWidget(m_urls);
    layout->addWidget(urls);

    // Services are names of their own; any other can be typed.
    QList<std::pair<QString, QString>> services;
    for (const char* service : {"xmpp", "skype", "sip", "matrix", "irc", "aim", "yahoo", "gadugadu"}) {
        services.append({QLatin1String(service), QLatin1String(service)});
    }
    auto* messengers = Group("frameMessengers", "68029", "Messengers", this);
    m_messengers =
        new TypedRows(QStringLiteral("Messenger"), services, true, Text("68030a", "Add messenger"), messengers);
    m_messengers->AddButton()->setToolTip(Text("68030c", "Add a messenger id"));
    (new QVBoxLayout(messengers))->addWidget(m_messengers);
    layout->addWidget(messengers);

    auto* notes = Group("frameNotes", "68031", "Notes", this);
    m_note = new QPlainTextEdit(notes);
    m_note->setObjectName(QStringLiteral("txtNote"));
    m_note->setAccessibleName(notes->title());
    m_note->setTabChangesFocus(true); // Tab leaves the notes, as it leaves every other box
    m_note->setMinimumHeight(m_note->fontMetrics().lineSpacing() * 4);
    (new QVBoxLayout(notes))->addWidget(m_note);
    layout->addWidget(notes);
    layout->addStretch();

    for (TypedRows* rows : {m_phones, m_urls, m_messengers}) {
        connect(rows, &TypedRows::RowsChanged, this, &ContactDetailsPage::RowsChanged);
    }
    connect(m_addresses, &AddressRows::RowsChanged, this, &ContactDetailsPage::RowsChanged);
    connect(m_choosePhoto, &QPushButton::clicked, this, &ContactDetailsPage::ChoosePhoto);
    connect(m_removePhoto, &QPushButton::clicked, this, &ContactDetailsPage::RemovePhoto);
    connect(m_photoWell, &PhotoWell::FileDropped, this, &ContactDetailsPage::TakePhotoFile);
    m_removePhoto->setEnabled(false);
}

void ContactDetailsPage::SetDetails(const ContactDetails& d)
{
    m_nickname->setText(d.nicknames.join(QStringLiteral(", ")));
    m_birthday->setText(ShowDate(d.birthday));
    m_anniversary->setText(ShowDate(d.anniversary));
    m_organisation->setText(d.organisation);
    m_department->setText(d.department);
    m_title->setText(d.title);
    m_role->setText(d.role);
    for (QLineEdit* box : TextBoxes()) {
        box->setCursorPosition(0);
    }
    m_addresses->SetAddresses(d.addresses);
    m_phones->SetValues(d.phones);
    m_urls->SetValues(d.urls);
    m_messengers->SetValues(d.messengers);
    m_note->setPlainText(d.note);
    m_photo = d.photo;
    m_photoWell->SetPhoto(m_photo);
    m_removePhoto->setEnabled(!m_photo.isEmpty());
}

std::optional<ContactDetails> ContactDetailsPage::Details(QWidget* dialog)
{
    ContactDetails d;
    for (const auto& [box, date] : {std::pair{m_birthday, &d.birthday}, std::pair{m_anniversary, &d.anniversary}}) {
        const std::optional<ContactDate> parsed = ParseTypedDate(box->text());
        if (!parsed) {
            Reveal(this);
            RefuseInput(dialog, MsgIcon::Information, "68050",
                        "This is not a date. Type it as 1985-04-12, or as 04-12 when the year is not known.", box);
            return std::nullopt;
        }
        *date = *parsed;
    }
    for (QString nickname : m_nickname->text().split(QLatin1Char(','))) {
        nickname = nickname.trimmed();
        if (!nickname.isEmpty()) {
            d.nicknames.append(nickname);
        }
    }
    d.organisation = m_organisation->text();
    d.department = m_department->text();
    d.title = m_title->text();
    d.role = m_role->text();
    d.addresses = m_addresses->Addresses();
    d.phones = m_phones->Values();
    d.urls = m_urls->Values();
    d.messengers = m_messengers->Values();
    // The store keeps line feeds only.
    d.note = m_note->toPlainText().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    d.photo = m_photo;
    return d;
}

QList<QLineEdit*> ContactDetailsPage::TextBoxes() const
{
    return findChildren<QLineEdit*>();
}

QList<QWidget*> ContactDetailsPage::TabChain() const
{
    QList<QWidget*> chain{m_choosePhoto,  m_removePhoto, m_nickname, m_birthday, m_anniversary,
                          m_organisation, m_department,  m_title,    m_role};
    chain << m_phones->TabChain() << m_addresses->TabChain() << m_urls->TabChain() << m_messengers->TabChain();
    return chain << m_note;
}

bool ContactDetailsPage::TakePhotoFile(const QString& path)
{
    auto refuse = [this](const char* key, const char* english) {
        Reveal(this);
        RefuseInput(window(), MsgIcon::Information, key, english, m_choosePhoto);
        return false;
    };
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        return refuse("68053", "The picture file cannot be read.");
    }
    // Read no more than can be kept: a huge file or a device never fills memory.
    const QByteArray bytes = file.read(MaxPhotoBytes + 1);
    if (bytes.size() > MaxPhotoBytes) {
        return refuse("68052", "The picture is larger than 1 MB. Choose a smaller one.");
    }
    QImage image;
    if (PhotoMimeType(bytes).isEmpty() || !image.loadFromData(bytes)) {
        return refuse("68051", "The photo must be a JPEG or PNG picture.");
    }
    m_photo = bytes;
    m_photoWell->SetPhoto(m_photo);
    m_removePhoto->setEnabled(true);
    return true;
}

void ContactDetailsPage::ChoosePhoto()
{
    const QString path = ThePlatform().ChooseOpenFile(window(), Text("68054", "Choose a photo"),
                                                      Text("68055", "Pictures (*.jpg *.jpeg *.png)"));
    if (!path.isEmpty()) {
        TakePhotoFile(path);
    }
}

void ContactDetailsPage::RemovePhoto()
{
    m_photo.clear();
    m_photoWell->SetPhoto(m_photo);
    m_choosePhoto->setFocus(); // the remove button is disabled now
    m_removePhoto->setEnabled(false);
}
