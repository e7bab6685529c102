// The shared routines: sounds, the message-box pattern, the error report and the small helpers.
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QtEndian>
#include <QtTest>

#include <exception>

#include "app/Application.h"
#include "core/AppState.h"
#include "core/Errors.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"
#include "ui/Common.h"

Q_DECLARE_METATYPE(std::exception_ptr)

class tst_Common : public QObject
{
    Q_OBJECT

    std::optional<TestWorld> m_world;

private slots:
    void init() { m_world.emplace(false); }
    void cleanup() { m_world.reset(); }
    void messageBoxPattern_data()
    {
        QTest::addColumn<QString>("sequence");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("title");
        QTest::newRow("information") << "102,box,104" << int(MsgIcon::Information) << "Information";
        QTest::newRow("warning") << "101,box,104" << int(MsgIcon::Warning) << "Warning";
        QTest::newRow("confirm: the caller clicks") << "101,box" << int(MsgIcon::Warning) << "Warning";
    }

    void messageBoxPattern()
    {
        const QByteArray kind = QTest::currentDataTag();
        if (kind == "information") {
            MsgInformation(nullptr, QStringLiteral("text"));
        } else if (kind == "warning") {
            MsgWarning(nullptr, QStringLiteral("text"));
        } else {
            m_world->platform.answers = {MsgResult::Cancel, MsgResult::Ok};
            QVERIFY(!MsgConfirm(nullptr, QStringLiteral("text")));
            QCOMPARE(m_world->platform.Boxes().first().buttons, MsgButtons::OkCancel);
            QVERIFY(MsgConfirm(nullptr, QStringLiteral("text")));
            m_world->platform.calls.resize(m_world->platform.calls.size() - 2);
        }
        QTEST(m_world->platform.Sequence(), "sequence");
        const RecordingPlatform::Call box = m_world->platform.Boxes().first();
        QCOMPARE(box.text, QStringLiteral("text"));
        QTEST(int(box.icon), "icon");
        QTEST(box.title, "title");

        // Titles come from the language file.
        m_world->folder.UseLanguage(QStringLiteral("chs"));
        m_world->platform.calls.clear();
        MsgWarning(nullptr, QStringLiteral("text"));
        QVERIFY(m_world->platform.Boxes().first().title != QLatin1String("Warning"));
    }

    void showError_data()
    {
        QTest::addColumn<std::exception_ptr>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("database") << std::make_exception_ptr(DbError(26, QStringLiteral("file is not a database")))
                                  << "file is not a database (26)";
        QTest::newRow("application") << std::make_exception_ptr(AppError(94, QStringLiteral("Invalid use of Null")))
                                     << "Invalid use of Null (94)";
        QTest::newRow("standard") << std::make_exception_ptr(std::length_error("vector")) << "vector (51)";
        QTest::newRow("memory") << std::make_exception_ptr(std::bad_alloc()) << "Out of memory (7)";
        QTest::newRow("anything") << std::make_exception_ptr(42) << "Internal error (51)";
    }

    void showError()
    {
        QFETCH(std::exception_ptr, error);
        try {
            std::rethrow_exception(error);
        } catch (...) {
            ShowError();
        }
        QCOMPARE(m_world->platform.Sequence(), QStringLiteral("103,box,104"));
        const RecordingPlatform::Call box = m_world->platform.Boxes().first();
        QTEST(box.text, "text");
        QCOMPARE(box.icon, MsgIcon::Critical);
        QCOMPARE(box.buttons, MsgButtons::Ok);
        QCOMPARE(box.title, QStringLiteral("Error"));
    }

    void showErrorRestoresThePointer()
    {
        {
            WaitCursor outer;
            WaitCursor inner;
            QVERIFY(QApplication::overrideCursor() != nullptr);
            try {
                throw DbError(5, QStringLiteral("database is locked"));
            } catch (...) {
                ShowError();
            }
            QCOMPARE(QApplication::overrideCursor(), nullptr);
        }
        QCOMPARE(QApplication::overrideCursor(), nullptr); // the waits ending do not unbalance it
    }

    // A handler that throws is reported at the edge of the event loop, and the program goes on.
    void escapedExceptionIsReported()
    {
        QPushButton button;
        QObject::connect(&button, &QPushButton::clicked, [] { throw DbError(14, QStringLiteral("unable to open")); });
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(m_world->platform.Boxes().size(), 1);
        QCOMPARE(m_world->platform.Boxes().first().text, QStringLiteral("unable to open (14)"));
    }

    void sounds_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("seconds");
        QTest::newRow("warning") << 101 << 2 << 1.1;
        QTest::newRow("information") << 102 << 2 << 0.9;
        QTest::newRow("error") << 103 << 1 << 1.0;
        QTest::newRow("click") << 104 << 1 << 0.06;
    }

    // 16-bit PCM at 22,050 Hz, played only while sounds are on.
    void sounds()
    {
        QFETCH(int, id);
        QFETCH(int, channels);
        QFETCH(double, seconds);
        const QByteArray wav = Book::ReadFile(QStringLiteral(":/sounds/%1.wav").arg(id));
        QVERIFY(wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt ");
        const char* fmt = wav.constData() + 20;
        QCOMPARE(qFromLittleEndian<quint16>(fmt), quint16(1));
        QCOMPARE(qFromLittleEndian<quint16>(fmt + 2), quint16(channels));
        QCOMPARE(qFromLittleEndian<quint32>(fmt + 4), quint32(22050));
        QCOMPARE(qFromLittleEndian<quint16>(fmt + 14), quint16(16));
        const double length = qFromLittleEndian<quint32>(wav.constData() + 40) / (22050.0 * 2 * channels);
        QVERIFY2(qAbs(length - seconds) < seconds * 0.1, qPrintable(QString::number(length)));
        PlaySoundRes(id);
        SoundEnabled = false; // silences the sounds, never the boxes
        PlaySoundRes(id);
        MsgWarning(nullptr, QStringLiteral("a"));
        QCOMPARE(m_world->platform.Sequence(), QString::number(id) + QStringLiteral(",box"));
    }

    void selectListItemAt_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("selected"); // 0-based row, -1 none
        QTest::newRow("first removed of three") << 2 << 1 << 0;
        QTest::newRow("last removed of three") << 2 << 3 << 1;
        QTest::newRow("middle removed") << 4 << 2 << 1;
        QTest::newRow("position 0") << 3 << 0 << 0;
        QTest::newRow("far past the end") << 3 << 10 << 2;
        QTest::newRow("list now empty") << 0 << 1 << -1;
    }

    void selectListItemAt()
    {
        QFETCH(int, rows);
        QFETCH(int, position);
        QFETCH(int, selected);
        QStandardItemModel model(rows, 2);
        QTreeView view;
        view.setModel(&model);
        view.setSelectionMode(QAbstractItemView::ExtendedSelection);
        SelectListItemAt(&view, position);
        QList<int> chosen;
        for (const QModelIndex& index : view.selectionModel()->selectedRows()) {
            chosen.append(index.row());
        }
        QCOMPARE(chosen, selected < 0 ? QList<int>() : QList<int>{selected});
        QVERIFY(selected < 0 || view.currentIndex().row() == selected);
    }

    // Only plain spaces at the ends go; a box of spaces only ends up empty.
    void trimTextBoxes()
    {
        QWidget form;
        auto* line = new QLineEdit(QStringLiteral("  Anna Li  "), &form);
        auto* spaces = new QLineEdit(QStringLiteral("     "), &form);
        auto* tabs = new QLineEdit(QStringLiteral("\tkept\t"), &form);
        auto* inner = new QLineEdit(QStringLiteral(" \x3000wide space stays "), &form);
        auto* multi = new QPlainTextEdit(QStringLiteral("  line\n  "), &form);
        TrimTextBoxes(&form);
        QCOMPARE(line->text(), QStringLiteral("Anna Li"));
        QCOMPARE(spaces->text(), QString());
        QCOMPARE(tabs->text(), QStringLiteral("\tkept\t"));
        QCOMPARE(inner->text(), QStringLiteral("\x3000wide space stays"));
        QCOMPARE(multi->toPlainText(), QStringLiteral("line\n"));
    }

    void isFormLoaded()
    {
        {
            QWidget form;
            form.setObjectName(QStringLiteral("frmMain"));
            QVERIFY(IsFormLoaded(QStringLiteral("frmMain")));
            QVERIFY(!IsFormLoaded(QStringLiteral("frmmain")));
            QVERIFY(!IsFormLoaded(QStringLiteral("frmMain ")));
        }
        QVERIFY(!IsFormLoaded(QStringLiteral("frmMain")));
    }
};

int main(int argc, char** argv)
{
    // The program's own application object, so exceptions escaping handlers are caught as in use.
    TavorenApplication app(argc, argv);
    tst_Common test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_common.moc"
