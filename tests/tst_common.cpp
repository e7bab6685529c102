// The shared routines: sounds, the message-box pattern, the error report and the small helpers.
#include "app/AppState.h"
#include "app/Common.h"
#include "app/Errors.h"
#include "app/Main.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QtEndian>
#include <QtTest>

class tst_Common : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void messageBoxPattern_data();
    void messageBoxPattern();
    void soundsOffStillShowsBoxes();
    void showErrorReportsNumberAndDescription_data();
    void showErrorReportsNumberAndDescription();
    void showErrorRestoresThePointer();
    void escapedExceptionIsReported();
    void sounds_data();
    void sounds();
    void selectListItemAt_data();
    void selectListItemAt();
    void trimTextBoxes();
    void isFormLoaded();

private:
    std::unique_ptr<TestProgramFolder> m_folder;
    std::unique_ptr<RecordingPlatform> m_platform;
};

void tst_Common::init()
{
    m_folder = std::make_unique<TestProgramFolder>(false);
    m_platform = std::make_unique<RecordingPlatform>();
}

void tst_Common::cleanup()
{
    m_platform.reset();
    m_folder.reset();
}

void tst_Common::messageBoxPattern_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("title");
    QTest::newRow("information") << "information"
                                 << "102,box,104" << int(MsgIcon::Information) << "Information";
    QTest::newRow("warning") << "warning"
                             << "101,box,104" << int(MsgIcon::Warning) << "Warning";
    QTest::newRow("confirmation: the caller clicks") << "confirm"
                                                     << "101,box" << int(MsgIcon::Warning) << "Warning";
}

void tst_Common::messageBoxPattern()
{
    QFETCH(QString, kind);
    QFETCH(QString, sequence);
    QFETCH(int, icon);
    QFETCH(QString, title);
    if (kind == QLatin1String("information")) {
        MsgInformation(nullptr, QStringLiteral("text"));
    } else if (kind == QLatin1String("warning")) {
        MsgWarning(nullptr, QStringLiteral("text"));
    } else {
        m_platform->answers.push_back(MsgResult::Cancel);
        QVERIFY(!MsgConfirm(nullptr, QStringLiteral("text")));
        QCOMPARE(m_platform->Boxes().first().buttons, MsgButtons::OkCancel);
        m_platform->answers.push_back(MsgResult::Ok);
        QVERIFY(MsgConfirm(nullptr, QStringLiteral("text")));
        m_platform->calls.removeLast();
        m_platform->calls.removeLast();
    }
    QCOMPARE(m_platform->Sequence(), sequence);
    const RecordingPlatform::Call box = m_platform->Boxes().first();
    QCOMPARE(box.text, QStringLiteral("text"));
    QCOMPARE(int(box.icon), icon);
    QCOMPARE(box.title, title);

    // Titles come from the language file.
    m_folder->UseLanguage(QStringLiteral("chs"));
    m_platform->calls.clear();
    MsgWarning(nullptr, QStringLiteral("text"));
    QVERIFY(m_platform->Boxes().first().title != QLatin1String("Warning"));
}

void tst_Common::soundsOffStillShowsBoxes()
{
    SoundEnabled = false;
    MsgInformation(nullptr, QStringLiteral("a"));
    try {
        throw DbError(19, QStringLiteral("constraint failed"));
    } catch (...) {
        ShowError();
    }
    PlaySoundRes(SoundClick);
    QCOMPARE(m_platform->Sequence(), QStringLiteral("box,box"));
}

void tst_Common::showErrorReportsNumberAndDescription_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("text");
    QTest::newRow("database") << 0 << "file is not a database (26)";
    QTest::newRow("application") << 1 << "Invalid use of Null (94)";
    QTest::newRow("standard") << 2 << "vector (51)";
    QTest::newRow("memory") << 3 << "Out of memory (7)";
    QTest::newRow("anything") << 4 << "Internal error (51)";
}

void tst_Common::showErrorReportsNumberAndDescription()
{
    QFETCH(int, which);
    QFETCH(QString, text);
    try {
        switch (which) {
        case 0:
            throw DbError(26, QStringLiteral("file is not a database"));
        case 1:
            throw AppError(94, QStringLiteral("Invalid use of Null"));
        case 2:
            throw std::length_error("vector");
        case 3:
            throw std::bad_alloc();
        default:
            throw 42;
        }
    } catch (...) {
        ShowError();
    }
    QCOMPARE(m_platform->Sequence(), QStringLiteral("103,box,104"));
    const RecordingPlatform::Call box = m_platform->Boxes().first();
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, MsgIcon::Critical);
    QCOMPARE(box.buttons, MsgButtons::Ok);
    QCOMPARE(box.title, QStringLiteral("Error"));
}

void tst_Common::showErrorRestoresThePointer()
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
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    {
        WaitCursor wait;
    }
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void tst_Common::escapedExceptionIsReported()
{
    // A handler that throws is reported at the edge of the event loop, and the program goes on.
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, [] { throw DbError(14, QStringLiteral("unable to open")); });
    QTest::mouseClick(&button, Qt::LeftButton);
    QCOMPARE(m_platform->Boxes().size(), 1);
    QCOMPARE(m_platform->Boxes().first().text, QStringLiteral("unable to open (14)"));
}

void tst_Common::sounds_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("seconds");
    QTest::newRow("warning") << 101 << 2 << 1.1;
    QTest::newRow("information") << 102 << 2 << 0.9;
    QTest::newRow("error") << 103 << 1 << 1.0;
    QTest::newRow("click") << 104 << 1 << 0.06;
}

void tst_Common::sounds()
{
    QFETCH(int, id);
    QFETCH(int, channels);
    QFETCH(double, seconds);
    QFile file(QStringLiteral(":/sounds/%1.wav").arg(id));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray wav = file.readAll();
    QVERIFY(wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt ");
    const char* fmt = wav.constData() + 20;
    QCOMPARE(qFromLittleEndian<quint16>(fmt), quint16(1)); // PCM
    QCOMPARE(qFromLittleEndian<quint16>(fmt + 2), quint16(channels));
    QCOMPARE(qFromLittleEndian<quint32>(fmt + 4), quint32(22050));
    QCOMPARE(qFromLittleEndian<quint16>(fmt + 14), quint16(16));
    const auto dataBytes = qFromLittleEndian<quint32>(wav.constData() + 40);
    const double length = dataBytes / (22050.0 * 2 * channels);
    QVERIFY2(qAbs(length - seconds) < seconds * 0.1, qPrintable(QString::number(length)));

    PlaySoundRes(id);
    QCOMPARE(m_platform->Sounds(), QList<int>{id});
    SoundEnabled = false;
    PlaySoundRes(id);
    QCOMPARE(m_platform->Sounds(), QList<int>{id});
}

void tst_Common::selectListItemAt_data()
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
    QTest::newRow("list now empty, later position") << 0 << 4 << -1;
}

void tst_Common::selectListItemAt()
{
    QFETCH(int, rows);
    QFETCH(int, position);
    QFETCH(int, selected);
    QStandardItemModel model(rows, 2);
    QTreeView view;
    view.setModel(&model);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    SelectListItemAt(&view, position);
    const QModelIndexList rowsSelected = view.selectionModel()->selectedRows();
    if (selected < 0) {
        QVERIFY(rowsSelected.isEmpty());
        return;
    }
    QCOMPARE(rowsSelected.size(), 1);
    QCOMPARE(rowsSelected.first().row(), selected);
    QCOMPARE(view.currentIndex().row(), selected);
}

void tst_Common::trimTextBoxes()
{
    QWidget form;
    auto* line = new QLineEdit(QStringLiteral("  Anna Li  "), &form);
    auto* tabs = new QLineEdit(QStringLiteral("\tkept\t"), &form);
    auto* inner = new QLineEdit(QStringLiteral(" \x3000wide space stays "), &form);
    auto* multi = new QPlainTextEdit(QStringLiteral("  line\n  "), &form);
    TrimTextBoxes(&form);
    QCOMPARE(line->text(), QStringLiteral("Anna Li"));
    QCOMPARE(tabs->text(), QStringLiteral("\tkept\t"));
    QCOMPARE(inner->text(), QStringLiteral("\x3000wide space stays"));
    QCOMPARE(multi->toPlainText(), QStringLiteral("line\n"));
}

void tst_Common::isFormLoaded()
{
    QVERIFY(!IsFormLoaded(QStringLiteral("frmMain")));
    {
        QWidget form;
        form.setObjectName(QStringLiteral("frmMain"));
        QVERIFY(IsFormLoaded(QStringLiteral("frmMain")));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmmain")));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmMain ")));
    }
    QVERIFY(!IsFormLoaded(QStringLiteral("frmMain")));
}

int main(int argc, char** argv)
{
    // The program's own application object, so exceptions escaping handlers are caught as in use.
    TavorenApplication app(argc, argv);
    tst_Common test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_common.moc"
