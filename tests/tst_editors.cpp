// The record and type editors, driven through their controls over a real address book.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

#include <functional>

#include "access/frmLogin.h"
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
    OpenAllRecords(rs, Conn);
    for (; !rs.IsEOF(); rs.MoveNext()) {
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
    OpenTypes(rs, Conn, LockType::ReadOnly);
    for (; !rs.IsEOF(); rs.MoveNext()) {
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
    void init() { m_world.emplace(); }

    void cleanup() { m_world.reset(); }

    void recordEditor_data()
    {
        // "types": Anna under Family, and Work; "none": no type; "orphan": Anna's type is gone
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("editAnna");
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<int>("typeIndex"); // -1 leaves the chooser as loaded
        QTest::addColumn<QString>("sequence");
        QTest::addColumn<QString>("message"); // and the field that gets the focus
        QTest::addColumn<QStringList>("stored");
        auto row = [](const char* tag, const char* setup, bool edit, const QStringList& typed, int typeIndex,
                      const char* sequence, const QString& message = {}, const QStringList& stored = {}) {
            QTest::newRow(tag) << QString(setup) << edit << typed << typeIndex << QString(sequence) << message
                               << (stored.isEmpty() ? typed : stored);
        };
        auto named = [](const QString& name) { return QStringList{name, {}, {}, {}, {}, {}, {}, {}}; };
        const QString mails = QStringLiteral("contact@example-mail.com; ").repeated(24).chopped(2); // 622 bytes
        const QStringList chinese = {"张伟", "010-8888", "138 0013", "021", mails, "10001", "張偉@msn", "7"};
        QStringList padded;
        for (const QString& field : chinese) {
            padded.append("  " + field + ' ');
        }
        const char* info = "102,box,104";
        const char* noType = "txtTypeNo:Please choose a type!";
        row("new, spaces around every field", "types", false, padded, 1, "104", {}, chinese);
        row("edit in place, other type", "types", true, chinese, 1, "104");
        row("name differing only in case", "types", false, named("anna"), -1, "104");
        row("another record's name", "types", false, named("Anna"), -1, "101");
        row("name of spaces only", "types", false, named("   "), -1, info, "txtName:The name cannot be empty!",
            named(""));
        row("no type at all", "none", false, named("Bob"), -1, info, noType);
        // Nothing is chosen for a record whose type is gone, so saving cannot quietly move it.
        row("record of a deleted type", "orphan", true, Anna, -1, info, noType);
        AddUnusualRows([&](const char* tag, const QString& value) {
            const bool storable = CodePage::System().CanEncode(value);
            row(tag, "types", false, QStringList(8, value), -1, storable ? "104" : info,
                storable ? QString()
                         : "txtName:The text contains characters that this system's character set cannot store!");
        });
    }

    void recordEditor()
    {
        QFETCH(QString, setup);
        QFETCH(bool, editAnna);
        QFETCH(QStringList, typed);
        QFETCH(int, typeIndex);
        QFETCH(QString, sequence);
        QFETCH(QString, message);
        QFETCH(QStringList, stored);
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
            Child(&form, RecordBoxes[i])->setText(typed[i]);
        }
        if (typeIndex >= 0) {
            chooser->setCurrentIndex(typeIndex);
        }
        Click(&form, "CmdOK");
        QCOMPARE(m_world->platform.Sequence(), sequence);
        if (sequence != "104") {
            if (!message.isEmpty()) {
                QCOMPARE(form.focusWidget()->objectName() + ':' + m_world->platform.Boxes().first().text, message);
            }
            QCOMPARE(Child(&form, "txtName")->text(), stored.first()); // trimmed where the user sees it
            QVERIFY(!Unloaded<frmPWD>() && form.isVisible());
            QCOMPARE(Records(), before);
            return;
        }
        QVERIFY(Unloaded<frmPWD>());
        const QMap<int, QStringList> records = Records();
        const int key = editAnna ? anna : records.lastKey();
        QCOMPARE(records.size(), before.size() + (editAnna ? 0 : 1));
        QCOMPARE(records.value(key), QStringList(stored) << QString::number(typeIndex == 1 ? work : family));
        frmPWD& again = Open<frmPWD>(key);
        for (int i = 0; i < RecordBoxes.size(); ++i) {
            QCOMPARE(Child(&again, RecordBoxes[i])->text(), stored[i]); // loads back whole
        }
    }

    void typeEditor_data()
    {
        QTest::addColumn<int>("edit"); // index of the type edited, -1 for a new one
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("sequence");
        QTest::addColumn<QStringList>("types");
        const QStringList given = {"Family|relatives", "Work|", "Ärzte|"};
        auto row = [](const char* tag, int edit, const QString& name, const QString& description, const char* sequence,
                      const QStringList& types) {
            QTest::newRow(tag) << edit << name << description << QString(sequence) << types;
        };
        const char* taken = "104,101,box,104";
        const char* refused = "104,102,box,104";
        row("new, spaces trimmed", -1, "  Friends ", " old school  ", "104", given + QStringList{"Friends|old school"});
        row("own name, other case", 0, "FAMILY", "", "104", {"FAMILY|", "Work|", "Ärzte|"});
        row("other type's name, other case", -1, "work", "", taken, given);
        row("renamed onto another type", 0, "Work", "", taken, given);
        row("non-ASCII letters, other case", -1, "ärzte", "", taken, given);
        row("name of spaces only", -1, "   ", "x", refused, given);
        AddUnusualRows([&](const char* tag, const QString& value) {
            const bool storable = CodePage::Utf8().CanEncode(value);
            row(tag, -1, value, value, storable ? "104" : refused,
                storable ? given + QStringList{value + '|' + value} : given);
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

    void typeFromChooser_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QStringList>("afterSave");
        QTest::newRow("with types") << QStringList{"Family", "Work"}
                                    << QStringList{"Family", "Work", "Friends", "New type..."};
        QTest::newRow("no type yet") << QStringList{} << QStringList{"Friends", "New type..."};
        // A type may carry the new-type entry's text; choosing it does not open the type editor.
        QTest::newRow("type named like the entry")
            << QStringList{"New type..."} << QStringList{"New type...", "Friends", "New type..."};
    }

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

    void databaseErrors_data()
    {
        QTest::addColumn<bool>("onLoad");
        QTest::newRow("save") << false;
        QTest::newRow("load") << true;
    }

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
