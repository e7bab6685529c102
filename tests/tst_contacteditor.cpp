// The contact editor's web address and "Details" tab, driven by input events over a real book.
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QUndoStack>
#include <QtTest>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "editors/ContactDetailsPage.h"
#include "editors/frmPWD.h"
#include "store/ContactDetails.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/Forms.h"

namespace {

template <class W = QLineEdit> W* Child(QWidget* form, const QString& name)
{
    W* w = form->findChild<W*>(name);
    if (w == nullptr) {
        qFatal("no control %s", qPrintable(name));
    }
    return w;
}

template <class W = QLineEdit> QList<W*> Children(QWidget* form, const QString& name)
{
    return form->findChildren<W*>(name);
}

void Click(QWidget* w)
{
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(4, w->height() / 2));
}

// Clicks a box and types into it, replacing what it held.
void Type(QWidget* box, const QString& text)
{
    Click(box);
    QVERIFY(box->hasFocus());
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key_Delete);
    } else {
        QTest::keyClicks(box, text);
    }
}

void Type(QWidget* form, const QString& name, const QString& text)
{
    Type(Child<QWidget>(form, name), text);
}

// Typed into whatever has the focus, as after an add button.
void TypeHere(const QString& text)
{
    QTest::keyClicks(QApplication::focusWidget(), text);
}

void ShowTab(frmPWD& form, int index)
{
    auto* tabs = Child<QTabWidget>(&form, "tabs");
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(index).center());
    QCOMPARE(tabs->currentIndex(), index);
}

frmPWD& Open(qint64 id)
{
    frmPWD& form = Form<frmPWD>();
    form.SetEditMode(id != -1);
    form.SetPWDID(static_cast<int>(id));
    form.show();
    if (!QTest::qWaitForWindowActive(&form)) {
        qWarning("the editor did not become active");
    }
    return form;
}

bool Unloaded()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return FormInstance<frmPWD>::IfLoaded() == nullptr;
}

QByteArray Picture(const char* format, QColor colour)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QString StoredUrl(qint64 id)
{
    Recordset rs;
    OpenRecordView(rs, Conn, id);
    return rs.IsNull(u"Url") ? QStringLiteral("<null>") : rs.Text(u"Url");
}

// A contact with something in every detail, as an import would leave it.
ContactDetails Sample()
{
    ContactDetails d;
    PostalAddress home;
    home.type = QStringLiteral("home");
    home.street = QStringLiteral("12 Elm Street");
    home.locality = QStringLiteral("Springfield");
    home.postalCode = QStringLiteral("12345");
    home.country = QStringLiteral("USA");
    d.addresses = {home};
    d.birthday = {0, 4, 12};
    d.anniversary = {2001, 6, 30};
    d.nicknames = {QStringLiteral("Annie")};
    d.organisation = QStringLiteral("Acme");
    d.department = QStringLiteral("Sales");
    d.title = QStringLiteral("Manager");
    d.note = QStringLiteral("first line\nsecond line");
    d.phones = {{QStringLiteral("fax"), QStringLiteral("555 0100")}, {QStringLiteral("pager"), QStringLiteral("77")}};
    d.urls = {{QStringLiteral("work"), QStringLiteral("https://acme.example")}};
    d.messengers = {{QStringLiteral("xmpp"), QStringLiteral("anna@jabber.example")}};
    d.photo = Picture("PNG", Qt::red);
    return d;
}

} // namespace

class tst_ContactEditor : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;
    qint64 m_type = 0;

    QString File(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_world->folder.Path() + name;
        Book::WriteFile(path, bytes);
        return path;
    }

private slots:
    void init()
    {
        m_world.emplace();
        TheBook().ClearHistory();
        m_type = Book::AddType(QStringLiteral("Family"));
    }

    void cleanup()
    {
        m_world.reset();
        QLocale::setDefault(QLocale::c());
    }

    void typedDates_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored"); // "bad" when refused
        QTest::newRow("nothing") << "C"
                                 << "  "
                                 << "";
        QTest::newRow("full date") << "C"
                                   << "1985-04-12"
                                   << "1985-04-12";
        QTest::newRow("month and day") << "C"
                                       << "04-12"
                                       << "--04-12";
        QTest::newRow("short month and day") << "C"
                                             << "4-2"
                                             << "--04-02";
        QTest::newRow("vCard without a year") << "C"
                                              << "--04-12"
                                              << "--04-12";
        QTest::newRow("leap day without a year") << "C"
                                                 << "02-29"
                                                 << "--02-29";
        QTest::newRow("leap day of a common year") << "C"
                                                   << "1985-02-29"
                                                   << "bad";
        QTest::newRow("no such month") << "C"
                                       << "13-01"
                                       << "bad";
        QTest::newRow("no such day") << "C"
                                     << "04-31"
                                     << "bad";
        QTest::newRow("words") << "C"
                               << "next week"
                               << "bad";
        QTest::newRow("US short date, full year") << "en_US"
                                                  << "4/12/1985"
                                                  << "1985-04-12";
        QTest::newRow("German short date") << "de_DE"
                                           << "12.04.1985"
                                           << "1985-04-12";
        QTest::newRow("Chinese short date") << "zh_CN"
                                            << "1985/4/12"
                                            << "1985-04-12";
    }

    void typedDates()
    {
        QFETCH(QString, locale);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QLocale::setDefault(QLocale(locale));
        const std::optional<ContactDate> date = ParseTypedDate(typed);
        QCOMPARE(date ? date->ToText() : QStringLiteral("bad"), stored);
        if (date && !date->IsNull()) {
            QCOMPARE(ParseTypedDate(ShowDate(*date)), date); // what the editor shows reads back
        }
    }

    // Every field typed into a new contact, with the keyboard and the real buttons.
    void newContactEveryField()
    {
        const QByteArray png = Picture("PNG", Qt::blue);
        m_world->platform.files.push_back(File(QStringLiteral("face.png"), png));
        frmPWD& form = Open(-1);
        Type(&form, "txtName", QStringLiteral("Anna"));
        Type(&form, "txtUrl", QStringLiteral("https://anna.example"));
        ShowTab(form, 1);
        Type(&form, "txtNickname", QStringLiteral("Annie, Ann"));
        Type(&form, "txtBirthday", QStringLiteral("04-12"));
        Type(&form, "txtAnniversary", QStringLiteral("2001-06-30"));
        Type(&form, "txtOrganisation", QStringLiteral("Acme"));
        Type(&form, "txtDepartment", QStringLiteral("Sales"));
        Type(&form, "txtJobTitle", QStringLiteral("Manager"));
        Type(&form, "txtRole", QStringLiteral("Buyer"));

        // A phone: added, typed, its type changed from the keyboard (Mobile, then Home).
        Click(Child<QPushButton>(&form, "CmdAddPhone"));
        TypeHere(QStringLiteral("555 0100"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("cboPhoneType"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        // A second phone that is removed again, and a third kept as a fax.
        Click(Child<QPushButton>(&form, "CmdAddPhone"));
        TypeHere(QStringLiteral("to be removed"));
        Click(Children<QPushButton>(&form, "CmdRemovePhone").at(1));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Click(Child<QPushButton>(&form, "CmdAddPhone"));
        TypeHere(QStringLiteral("555 0199"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down); // Mobile, Home, Work, Fax
        }

        Click(Child<QPushButton>(&form, "CmdAddAddress"));
        TypeHere(QStringLiteral("12 Elm Street"));
        for (const auto& [box, text] : {std::pair{"txtExtended", "Flat 3"},
                                        {"txtPoBox", "PO 9"},
                                        {"txtLocality", "Springfield"},
                                        {"txtRegion", "IL"},
                                        {"txtPostalCode", "62701"},
                                        {"txtCountry", "USA"}}) {
            Type(&form, QLatin1String(box), QLatin1String(text));
        }
        Click(Child<QPushButton>(&form, "CmdAddWebAddress"));
        TypeHere(QStringLiteral("https://blog.example"));
        Click(Child<QPushButton>(&form, "CmdAddMessenger"));
        TypeHere(QStringLiteral("anna@jabber.example"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier); // the service, typed
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("matrix"));
        Click(Child<QPlainTextEdit>(&form, "txtNote")->viewport());
        TypeHere(QStringLiteral("first line"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        TypeHere(QStringLiteral("second line"));
        Click(Child<QPushButton>(&form, "CmdChoosePhoto"));

        QSignalSpy saved(&TheBook(), &AddressBook::ContactSaved);
        Click(Child<QPushButton>(&form, "CmdOK"));
        QCOMPARE(m_world->platform.Boxes().size(), 0);
        QVERIFY(Unloaded());
        QCOMPARE(saved.size(), 1);
        const qint64 id = saved.first().first().toLongLong();

        ContactDetails expected;
        PostalAddress address;
        address.type = QStringLiteral("home");
        address.street = QStringLiteral("12 Elm Street");
        address.extended = QStringLiteral("Flat 3");
        address.poBox = QStringLiteral("PO 9");
        address.locality = QStringLiteral("Springfield");
        address.region = QStringLiteral("IL");
        address.postalCode = QStringLiteral("62701");
        address.country = QStringLiteral("USA");
        expected.addresses = {address};
        expected.birthday = {0, 4, 12};
        expected.anniversary = {2001, 6, 30};
        expected.nicknames = {QStringLiteral("Annie"), QStringLiteral("Ann")};
        expected.organisation = QStringLiteral("Acme");
        expected.department = QStringLiteral("Sales");
        expected.title = QStringLiteral("Manager");
        expected.role = QStringLiteral("Buyer");
        expected.note = QStringLiteral("first line\nsecond line");
        expected.phones = {{QStringLiteral("home"), QStringLiteral("555 0100")},
                           {QStringLiteral("fax"), QStringLiteral("555 0199")}};
        expected.urls = {{QString(), QStringLiteral("https://blog.example")}};
        expected.messengers = {{QStringLiteral("matrix"), QStringLiteral("anna@jabber.example")}};
        expected.photo = png;
        const ContactDetails stored = ReadContactDetails(Conn, id);
        QCOMPARE(stored.addresses, expected.addresses);
        QCOMPARE(stored.phones, expected.phones);
        QCOMPARE(stored.urls, expected.urls);
        QCOMPARE(stored.messengers, expected.messengers);
        QCOMPARE(stored.nicknames, expected.nicknames);
        QVERIFY(stored == expected);
        QCOMPARE(StoredUrl(id), QStringLiteral("https://anna.example"));
        QCOMPARE(TheBook().History()->count(), 1);

        // It opens again as saved.
        frmPWD& again = Open(id);
        QCOMPARE(Child(&again, "txtUrl")->text(), QStringLiteral("https://anna.example"));
        QCOMPARE(Child(&again, "txtBirthday")->text(), QStringLiteral("04-12"));
        QCOMPARE(Children(&again, "txtPhone").size(), 2);
        QCOMPARE(Child(&again, "txtCountry")->text(), QStringLiteral("USA"));
    }

    // A contact saved with no details on a book without their tables leaves it as the record
    // alone would: no tables are made.
    void noDetailsNoTables()
    {
        const qint64 anna = Book::AddRecord(m_type, QStringLiteral("Anna"), {QStringLiteral("111")});
        frmPWD& form = Open(anna);
        Type(&form, "txtFPhone", QStringLiteral("222"));
        Click(Child<QPushButton>(&form, "CmdOK"));
        QVERIFY(Unloaded());
        frmPWD& added = Open(-1);
        Type(&added, "txtName", QStringLiteral("Bob"));
        ShowTab(added, 1);
        Click(Child<QPushButton>(&added, "CmdAddPhone")); // an empty line keeps nothing
        Click(Child<QPushButton>(&added, "CmdOK"));
        QVERIFY(Unloaded());
        QVERIFY(!HasContactDetailTables(Conn));
        QCOMPARE(Book::Contents(), (QStringList{"Anna/Family", "Bob/Family", "|", "Family"}));
        QCOMPARE(StoredUrl(anna), QStringLiteral("<null>"));
    }

    void editUndoRedo_data()
    {
        QTest::addColumn<bool>("hadDetails");
        QTest::newRow("contact with details") << true;
        QTest::newRow("first details of a book without their tables") << false;
    }

    // An edit of details through the editor, undone and redone: the stored rows come back exactly.
    void editUndoRedo()
    {
        QFETCH(bool, hadDetails);
        const qint64 anna = Book::AddRecord(m_type, QStringLiteral("Anna"), {QStringLiteral("111")});
        const qint64 bob = Book::AddRecord(m_type, QStringLiteral("Bob"));
        if (hadDetails) {
            WriteContactDetails(Conn, anna, Sample());
            WriteContactDetails(Conn, bob, Sample());
        }
        const QStringList before = Book::Dump();
        frmPWD& form = Open(anna);
        ShowTab(form, 1);
        if (hadDetails) {
            QCOMPARE(Child(&form, "txtBirthday")->text(), QStringLiteral("04-12"));
            QCOMPARE(Child(&form, "txtStreet")->text(), QStringLiteral("12 Elm Street"));
            QCOMPARE(Child<QPlainTextEdit>(&form, "txtNote")->toPlainText(), QStringLiteral("first line\nsecond line"));
            QVERIFY(Child<QPushButton>(&form, "CmdRemovePhoto")->isEnabled());
            Type(&form, "txtStreet", QStringLiteral("1 Oak Road"));
            Click(Children<QPushButton>(&form, "CmdRemovePhone").first());
            Click(Child<QPushButton>(&form, "CmdRemovePhoto"));
        } else {
            Click(Child<QPushButton>(&form, "CmdAddAddress"));
            TypeHere(QStringLiteral("1 Oak Road"));
        }
        Type(&form, "txtBirthday", QStringLiteral("1985-04-12"));
        Click(Child<QPushButton>(&form, "CmdOK"));
        QVERIFY(Unloaded());
        const QStringList after = Book::Dump();
        const ContactDetails edited = ReadContactDetails(Conn, anna);
        QCOMPARE(edited.addresses.size(), 1);
        QCOMPARE(edited.addresses.first().street, QStringLiteral("1 Oak Road"));
        QCOMPARE(edited.birthday, (ContactDate{1985, 4, 12}));
        QCOMPARE(edited.phones.size(), hadDetails ? 1 : 0);
        QVERIFY(edited.photo.isEmpty());
        if (hadDetails) {
            QCOMPARE(ReadContactDetails(Conn, bob), Sample()); // the other contact's stay
        }

        TheBook().History()->undo();
        QCOMPARE(ReadContactDetails(Conn, anna), hadDetails ? Sample() : ContactDetails());
        const QStringList undone = Book::Dump();
        if (hadDetails) {
            QCOMPARE(undone, before);
        } else {
            // The tables stay (empty); every row is as before.
            QCOMPARE(undone.filter(QRegularExpression(QStringLiteral("^(?!Contact)"))),
                     before.filter(QRegularExpression(QStringLiteral("^(?!Contact)"))));
        }
        TheBook().History()->redo();
        QCOMPARE(Book::Dump(), after);
    }

    // Cancel writes nothing, whatever was changed on either tab.
    void cancelKeepsBook()
    {
        const qint64 anna = Book::AddRecord(m_type, QStringLiteral("Anna"));
        WriteContactDetails(Conn, anna, Sample());
        const QStringList before = Book::Dump();
        frmPWD& form = Open(anna);
        Type(&form, "txtUrl", QStringLiteral("https://changed.example"));
        ShowTab(form, 1);
        Type(&form, "txtOrganisation", QStringLiteral("Other Corp"));
        Click(Child<QPushButton>(&form, "CmdAddWebAddress"));
        TypeHere(QStringLiteral("https://more.example"));
        Click(Child<QPushButton>(&form, "CmdRemoveAddress"));
        Click(Child<QPushButton>(&form, "CmdCancel"));
        QVERIFY(Unloaded());
        QCOMPARE(Book::Dump(), before);
        QCOMPARE(TheBook().History()->count(), 0);
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("photo");
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<QString>("message");
        const QString notDate =
            QStringLiteral("This is not a date. Type it as 1985-04-12, or as 04-12 when the year is not known.");
        QTest::newRow("birthday") << "txtBirthday"
                                  << "1985-02-30" << QByteArray() << false << notDate;
        QTest::newRow("anniversary") << "txtAnniversary"
                                     << "someday" << QByteArray() << false << notDate;
        const QString notPicture = QStringLiteral("The photo must be a JPEG or PNG picture.");
        QTest::newRow("text chosen as photo") << ""
                                              << "" << QByteArray("hello") << false << notPicture;
        QTest::newRow("BMP dropped") << ""
                                     << "" << Picture("BMP", Qt::green) << true << notPicture;
        QTest::newRow("PNG header on junk") << ""
                                            << "" << QByteArray("\x89PNG\r\n\x1A\nnot really") << false << notPicture;
        QByteArray large = Picture("PNG", Qt::red);
        large.append(QByteArray(MaxPhotoBytes, 'x'));
        QTest::newRow("picture over the limit") << ""
                                                << "" << large << true
                                                << QStringLiteral("The picture is larger than 1 MB. Choose a smaller "
                                                                  "one.");
    }

    // A bad date or picture says what is wrong and writes nothing; the dialog stays open.
    void refusals()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QByteArray, photo);
        QFETCH(bool, dropped);
        QFETCH(QString, message);
        const qint64 anna = Book::AddRecord(m_type, QStringLiteral("Anna"));
        WriteContactDetails(Conn, anna, Sample());
        const QStringList before = Book::Dump();
        frmPWD& form = Open(anna);
        ShowTab(form, 1);
        if (!box.isEmpty()) {
            Type(&form, box, typed);
            ShowTab(form, 0); // the refusal brings the box into view
            Click(Child<QPushButton>(&form, "CmdOK"));
            QCOMPARE(Child<QTabWidget>(&form, "tabs")->currentIndex(), 1);
            QCOMPARE(QApplication::focusWidget()->objectName(), box);
        } else {
            const QString path = File(QStringLiteral("picture.bin"), photo);
            if (dropped) {
                auto* well = Child<QLabel>(&form, "picPhoto");
                QMimeData data;
                data.setUrls({QUrl::fromLocalFile(path)});
                QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
                QApplication::sendEvent(well, &enter);
                QVERIFY(enter.isAccepted());
                QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
                QApplication::sendEvent(well, &drop);
            } else {
                m_world->platform.files.push_back(path);
                Click(Child<QPushButton>(&form, "CmdChoosePhoto"));
            }
        }
        QCOMPARE(m_world->platform.Boxes().size(), 1);
        QCOMPARE(m_world->platform.Boxes().first().text, message);
        QCOMPARE(Book::Dump(), before);
        QVERIFY(!Unloaded() && form.isVisible());
        if (box.isEmpty()) { // the photo kept is the one stored before
            Click(Child<QPushButton>(&form, "CmdOK"));
            QVERIFY(Unloaded());
            QCOMPARE(ReadContactDetails(Conn, anna).photo, Sample().photo);
        }
    }

    // A name missing while the details show: the first tab comes back with the name box.
    void emptyNameFromDetails()
    {
        frmPWD& form = Open(-1);
        ShowTab(form, 1);
        Type(&form, "txtOrganisation", QStringLiteral("Acme"));
        Click(Child<QPushButton>(&form, "CmdOK"));
        QCOMPARE(m_world->platform.Boxes().size(), 1);
        QCOMPARE(Child<QTabWidget>(&form, "tabs")->currentIndex(), 0);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtName"));
        QVERIFY(!HasContactDetailTables(Conn));
    }

    // A JPEG dropped on the well is kept as the bytes of the file.
    void dropPhoto()
    {
        const QByteArray jpeg = Picture("JPEG", Qt::yellow);
        const QString path = File(QStringLiteral("face.jpg"), jpeg);
        frmPWD& form = Open(-1);
        Type(&form, "txtName", QStringLiteral("Anna"));
        ShowTab(form, 1);
        auto* well = Child<QLabel>(&form, "picPhoto");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(well, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(well, &drop);
        QVERIFY(drop.isAccepted());
        QVERIFY(!well->pixmap().isNull());
        QSignalSpy saved(&TheBook(), &AddressBook::ContactSaved);
        Click(Child<QPushButton>(&form, "CmdOK"));
        QVERIFY(Unloaded());
        QCOMPARE(ReadContactDetails(Conn, saved.first().first().toLongLong()).photo, jpeg);
    }

    // Tab runs from the first tab's web address box through the details in reading order, and
    // reaches lines added since.
    void tabOrder()
    {
        frmPWD& form = Open(-1);
        ShowTab(form, 1);
        QStringList order;
        Click(Child<QPushButton>(&form, "CmdAddPhone"));
        Click(Child(&form, "txtNickname"));
        for (int i = 0; i < 9; ++i) {
            order.append(QApplication::focusWidget()->objectName());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, (QStringList{"txtNickname", "txtBirthday", "txtAnniversary", "txtOrganisation", "txtDepartment",
                                     "txtJobTitle", "txtRole", "cboPhoneType", "txtPhone"}));
        // The notes give Tab back to the dialog.
        Click(Child<QPlainTextEdit>(&form, "txtNote")->viewport());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("CmdOK"));
    }
};

QTEST_MAIN(tst_ContactEditor)
#include "tst_contacteditor.moc"
