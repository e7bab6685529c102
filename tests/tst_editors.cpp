// The record and type editors, driven through their controls over a real address book.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QUndoStack>
#include <QtTest>

#include <functional>

#include "access/frmLogin.h"
#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/CodePage.h"
#include "editors/frmPWD.h"
#include "editors/frmPWDType.h"
#include "main/frmMain.h"
#include "store/Database.h"
#include "store/Encryption.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/Forms.h"

namespace {

const QStringList RecordBoxes = {"txtName", "txtFPhone", "txtMobile", "txtCPhone",
                                 "txtMail", "txtQQ",     "txtMSN",    "txtICQ"};
const QStringList Anna = {"Anna", "111", "222", "333", "a@b.c", "12345", "m@s.n", "678"};

using Book::AddType;

// Every record by key: its eight fields deciphered, then its type number.
QMap<int, QStringList> Records()
{
    QMap<int, QStringList> records;
    Recordset rs;
    for (OpenAllRecords(rs, Conn); !rs.IsEOF(); rs.MoveNext()) {
        QStringList fields;
        for (const char16_t* column :
             {u"Name", u"F_Phone1", u"F_MobilePhone1", u"C_Phone1", u"EMailList", u"QQ", u"MSN", u"ICQ"}) {
            fields.append(Decrypt(rs.Text(column)));
        }
        records.insert(static_cast<int>(rs.Integer(u"PWDID")), fields << rs.Text(u"TypeNo"));
    }
    return records;
}

// Every type as "name|description", in key order.
QStringList Types()
{
    QStringList types;
    Recordset rs;
    for (OpenTypes(rs, Conn, LockType::ReadOnly); !rs.IsEOF(); rs.MoveNext()) {
        types.append(rs.Text(u"TypeName") + QLatin1Char('|') + rs.Text(u"Description"));
    }
    return types;
}

template <class W = QLineEdit> W* Child(QWidget* form, const QString& name)
{
    return form->findChild<W*>(name);
}

void Click(QWidget* form, const char* button)
{
    QTest::mouseClick(Child<QPushButton>(form, QLatin1String(button)), Qt::LeftButton);
}

// Loads an editor the way the main window does and shows it, without a modal loop.
template <class T> T& Open(int id)
{
    T& form = Form<T>();
    form.SetEditMode(id != -1);
    if constexpr (std::is_same_v<T, frmPWD>) {
        form.SetPWDID(id);
    } else {
        form.SetTypeNo(id);
    }
    form.show();
    return form;
}

QStringList Entries(QComboBox* chooser)
{
    QStringList entries;
    for (int i = 0; i < chooser->count(); ++i) {
        entries.append(chooser->itemText(i));
    }
    return entries;
}

// Texts that are awkward somewhere between a text box, SQL, the cipher and the code page.
void AddUnusualRows(const std::function<void(const char*, const QString&)>& row)
{
    row("quotes, backslashes, wildcards", "O'Neil \"Jr\" C:\\dir\\ 100% _x_");
    row("tabs and line breaks", "\ta\tb\none\r\n");
    row("ideographic spaces", QStringLiteral("\u3000wide\u3000"));
    row("beyond a line edit's stock limit", QStringLiteral("0123456789张").repeated(4000));
    row("emoji", QStringLiteral("smile 🙂👍🏽"));
    row("lone surrogate", QStringLiteral("a") + QChar(0xDC00) + QStringLiteral("b"));
}

template <class T> bool Unloaded()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return FormInstance<T>::IfLoaded() == nullptr;
}

} // namespace

class tst_Editors : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;

private slots:
    void init()
    {
        m_world.emplace();
        TheBook().ClearHistory(); // a new book, as after a start
    }

    void cleanup() { m_world.reset(); }

    void recordEditor_data()
    {
        Book::AddRows(QStringLiteral("editors.txt"));
        AddUnusualRows([&](const char* tag, const QString& value) {
            const bool storable = CodePage::System().CanEncode(value);
            QTest::newRow(tag) << QStringLiteral("types") << false << QStringList(8, value).join('|') << -1
                               << (storable ? "104" : "102,box,104")
                               << (storable ? QString()
                                            : "txtName:The text contains characters that this system's character "
                                              "set cannot store!")
                               << QString();
        });
    }

    void recordEditor()
    {
        QFETCH(QString, setup);
        QFETCH(bool, editAnna);
        QFETCH(QString, typed);
        QFETCH(int, typeIndex);
        QFETCH(QString, sequence);
        QFETCH(QString, message);
        QFETCH(QString, stored);
        const QString mails = QStringLiteral("contact@example-mail.com; ").repeated(24).chopped(2); // 622 bytes
        const QStringList fields = typed.replace("<mails>", mails).split('|');
        const QStringList kept = stored.isEmpty() ? fields : stored.replace("<mails>", mails).split('|');
        const int family = setup == "none" ? -1 : AddType(QStringLiteral("Family"));
        const int work = family == -1 ? -1 : AddType(QStringLiteral("Work"));
        const int anna =
            family == -1 ? -1 : Book::AddRecord(setup == "orphan" ? work + 1 : family, Anna[0], Anna.mid(1));
        const QMap<int, QStringList> before = Records();
        frmPWD& form = Open<frmPWD>(editAnna ? anna : -1);
        auto* chooser = Child<QComboBox>(&form, "txtTypeNo");
        QCOMPARE(chooser->currentIndex(), setup == "orphan" ? -1 : 0);
        QCOMPARE(Child(&form, "txtName")->text(), editAnna ? Anna[0] : QString());
        for (int i = 0; i < RecordBoxes.size(); ++i) {
            Child(&form, RecordBoxes[i])->setText(fields[i]);
        }
        if (typeIndex >= 0) {
            chooser->setCurrentIndex(typeIndex);
        }
        // No main window is open: the editor saves through the book, which says what it saved.
        QSignalSpy saved(&TheBook(), &AddressBook::ContactSaved);
        Click(&form, "CmdOK");
        QCOMPARE(m_world->platform.Sequence(), sequence);
        if (sequence != "104") {
            QVERIFY(saved.isEmpty());
            if (!message.isEmpty()) {
                QCOMPARE(form.focusWidget()->objectName() + ':' + m_world->platform.Boxes().first().text, message);
            }
            QCOMPARE(Child(&form, "txtName")->text(), kept.first()); // trimmed where the user sees it
            QVERIFY(!Unloaded<frmPWD>() && form.isVisible());
            QCOMPARE(Records(), before);
            return;
        }
        QVERIFY(Unloaded<frmPWD>());
        const QMap<int, QStringList> records = Records();
        const int key = editAnna ? anna : records.lastKey();
        QCOMPARE(records.size(), before.size() + (editAnna ? 0 : 1));
        QCOMPARE(records.value(key), QStringList(kept) << QString::number(typeIndex == 1 ? work : family));
        QCOMPARE(saved.size(), 1);
        QCOMPARE(saved.first().first().toLongLong(), key);
        QCOMPARE(TheBook().History()->count(), 1); // one step to undo
        frmPWD& again = Open<frmPWD>(key);
        for (int i = 0; i < RecordBoxes.size(); ++i) {
            QCOMPARE(Child(&again, RecordBoxes[i])->text(), kept[i]); // loads back whole
        }
    }

    void typeEditor_data()
    {
        Book::AddRows(QStringLiteral("editors.txt"));
        const QStringList given = {"Family|relatives", "Work|", "Ärzte|"};
        AddUnusualRows([&](const char* tag, const QString& value) {
            const bool storable = CodePage::Utf8().CanEncode(value);
            QTest::newRow(tag) << -1 << value << value << (storable ? "104" : "104,102,box,104")
                               << (storable ? given + QStringList{value + '|' + value} : given);
        });
    }

    void typeEditor()
    {
        QFETCH(int, edit);
        QFETCH(QString, name);
        QFETCH(QString, description);
        QFETCH(QString, sequence);
        const qint64 keys[] = {AddType(QStringLiteral("Family"), QStringLiteral("relatives")),
                               AddType(QStringLiteral("Work")), AddType(QStringLiteral("Ärzte"))};
        frmPWDType& form = Open<frmPWDType>(edit < 0 ? -1 : keys[edit]);
        Child(&form, "txtTypeName")->setText(name);
        Child(&form, "txtDescription")->setText(description);
        Click(&form, "CmdOK");
        QCOMPARE(m_world->platform.Sequence(), sequence);
        QTEST(Types(), "types");
        const bool saved = sequence == "104";
        QCOMPARE(Unloaded<frmPWDType>(), saved);
        if (!saved) { // the box keeps what was typed, and has the focus
            QCOMPARE(form.focusWidget()->objectName() + ':' + Child(&form, "txtTypeName")->text(),
                     "txtTypeName:" + name);
        }
    }

    void typeFromChooser_data() { Book::AddRows(QStringLiteral("editors.txt")); }

    // The main window is open, as it always is when the editors run.
    void typeFromChooser()
    {
        QFETCH(QStringList, existing);
        QFETCH(QStringList, afterSave);
        for (const QString& type : existing) {
            AddType(type);
        }
        frmMain& main = Form<frmMain>();
        frmPWD& form = Open<frmPWD>(-1);
        auto* chooser = Child<QComboBox>(&form, "txtTypeNo");
        // Picks an entry as the user does; whatever modal editor it opens gets typed into and closed.
        auto choose = [&](int index, const char* button) {
            QTimer driver;
            driver.setSingleShot(true);
            connect(&driver, &QTimer::timeout, this, [&] {
                if (frmPWDType* editor = FormInstance<frmPWDType>::IfLoaded()) {
                    QVERIFY(editor->isModal() && editor->TypeNo() == -1 && !editor->EditMode());
                    Child(editor, "txtTypeName")->setText(QStringLiteral("Friends"));
                    Click(editor, button);
                }
            });
            driver.start(0);
            chooser->setCurrentIndex(index);
            emit chooser->activated(index);
            QVERIFY(Unloaded<frmPWDType>());
        };
        choose(chooser->count() - 1, "CmdOK");
        QCOMPARE(Entries(chooser), afterSave); // each type once, the new-type entry last
        QCOMPARE(chooser->currentText(), QStringLiteral("Friends"));
        QCOMPARE(main.TreeView1->currentItem()->text(0), QStringLiteral("Friends"));
        choose(chooser->count() - 1, "CmdCancel");
        QCOMPARE(chooser->currentIndex(), 0);
        choose(0, "CmdCancel");
        QCOMPARE(Entries(chooser), afterSave);
        QCOMPARE(m_world->platform.Sequence(), QStringLiteral("104,104")); // the editor's OK, then its Cancel

        // Saved under the first type, the record comes back with the tree rebuilt on that type.
        const QString typeNo = chooser->currentData().toString();
        Child(&form, "txtName")->setText(QStringLiteral("Bob"));
        Click(&form, "CmdOK");
        QCOMPARE(Records().last().last(), typeNo);
        QCOMPARE(main.TreeView1->currentItem()->data(0, frmMain::NodeKeyRole).toString(), '_' + typeNo);
        QCOMPARE(main.TreeView1->currentItem()->text(0), afterSave.first());
    }

    // The name and the phones select their whole text on focus, by click or Tab; the other boxes
    // keep a plain caret.
    void focusSelectsText()
    {
        frmPWD& form = Open<frmPWD>(-1);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        for (const QString& box : RecordBoxes) {
            Child(&form, box)->setText(QStringLiteral("some value"));
        }
        for (const char* box : {"txtCPhone", "txtName", "txtMail", "txtICQ", "txtMobile"}) {
            QLineEdit* edit = Child(&form, box);
            QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(4, edit->height() / 2));
            QVERIFY(edit->hasFocus());
            QCOMPARE(edit->hasSelectedText(), RecordBoxes.indexOf(box) < 4);
        }
        for (const char* box : {"txtCPhone", "txtMail", "txtQQ"}) { // Tab from the mobile box on
            QTest::keyClick(form.focusWidget(), Qt::Key_Tab);
            QCOMPARE(form.focusWidget()->objectName(), QLatin1String(box));
            QCOMPARE(Child(&form, box)->hasSelectedText(), RecordBoxes.indexOf(box) < 4);
        }
    }

    // The title says whose details these are; a long e-mail list opens at its start.
    void titleAndLongValues()
    {
        QStringList mails;
        for (int i = 0; i < 12; ++i) {
            mails.append(QStringLiteral("someone.with.a.long.name%1@example.org").arg(i));
        }
        const qint64 id = Book::AddRecord(Book::AddType(QStringLiteral("Work")), QStringLiteral("Ann Lee"),
                                          {QString(), QString(), QString(), mails.join(u';')});
        frmPWD& form = Open<frmPWD>(static_cast<int>(id));
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.windowTitle(), QStringLiteral("Ann Lee"));
        QCOMPARE(Child(&form, QStringLiteral("txtMail"))->cursorPosition(), 0);
        FormInstance<frmPWD>::Unload();
        QCOMPARE(Open<frmPWD>(-1).windowTitle(), QStringLiteral("New contact"));
    }

    void databaseErrors_data() { Book::AddRows(QStringLiteral("editors.txt")); }

    // A failing statement is reported, writes nothing and leaves the dialog open; a record that could
    // not be loaded cannot be saved over.
    void databaseErrors()
    {
        QFETCH(bool, onLoad);
        const int anna = Book::AddRecord(AddType(QStringLiteral("Family")), Anna[0], Anna.mid(1));
        frmPWD& form = Form<frmPWD>();
        if (onLoad) {
            Conn.Close();
        } else {
            Conn.Execute(QStringLiteral("CREATE TEMP TRIGGER full BEFORE INSERT ON PWDTable BEGIN SELECT RAISE(ABORT, "
                                        "'disk is full'); END"));
        }
        Open<frmPWD>(onLoad ? anna : -1);
        if (onLoad) {
            Conn.Open(BuildConnectionString(AppFolder));
        }
        Child(&form, "txtName")->setText(QStringLiteral("Bob"));
        Click(&form, "CmdOK");
        QCOMPARE(m_world->platform.Boxes().size(), 1);
        QCOMPARE(m_world->platform.Boxes().first().icon, MsgIcon::Critical);
        QVERIFY(!Unloaded<frmPWD>() && form.isVisible());
        QCOMPARE(Records().values(), QList<QStringList>{Anna + QStringList{"1"}});
    }
};

QTEST_MAIN(tst_Editors)
#include "tst_editors.moc"
