// The shared routines: sounds, the message-box pattern and the error report.
#include <QPushButton>
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
    // Information and warning boxes sound before and click after; a confirmation leaves the click
    // to its caller. The titles come from the language file.
    void messageBoxPattern()
    {
        RecordingPlatform& platform = m_world->platform;
        MsgInformation(nullptr, QStringLiteral("i"));
        MsgWarning(nullptr, QStringLiteral("w"));
        platform.answers = {MsgResult::Cancel, MsgResult::Ok};
        QVERIFY(!MsgConfirm(nullptr, QStringLiteral("c")));
        QVERIFY(MsgConfirm(nullptr, QStringLiteral("c")));
        QCOMPARE(platform.Sequence(), QStringLiteral("102,box,104,101,box,104,101,box,101,box"));
        const QList<RecordingPlatform::Call> boxes = platform.Boxes();
        QVERIFY(boxes[0].text == "i" && boxes[0].title == "Information" && boxes[0].icon == MsgIcon::Information &&
                boxes[0].buttons == MsgButtons::Ok);
        QVERIFY(boxes[1].text == "w" && boxes[1].title == "Warning" && boxes[1].icon == MsgIcon::Warning &&
                boxes[1].buttons == MsgButtons::Ok);
        // A question is titled and marked as one.
        QVERIFY(boxes[2].text == "c" && boxes[2].title == "Question" && boxes[2].icon == MsgIcon::Question &&
                boxes[2].buttons == MsgButtons::OkCancel);
        m_world->folder.UseLanguage(QStringLiteral("chs"));
        MsgWarning(nullptr, QStringLiteral("text"));
        QVERIFY(platform.Boxes().last().title != QLatin1String("Warning"));
        MsgConfirm(nullptr, QStringLiteral("c"));
        QCOMPARE(platform.Boxes().last().title, QStringLiteral("询问"));
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

    // 16-bit PCM at 22,050 Hz, which every audio back end plays; played only while sounds are on.
    void sounds()
    {
        for (int id = 101; id <= 104; ++id) {
            const QByteArray wav = Book::ReadFile(QStringLiteral(":/sounds/%1.wav").arg(id));
            QVERIFY(wav.startsWith("RIFF") && wav.mid(8, 8) == "WAVEfmt ");
            QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 20), quint16(1));
            QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 24), quint32(22050));
            QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 34), quint16(16));
            PlaySoundRes(id);
        }
        SoundEnabled = false; // silences the sounds, never the boxes
        PlaySoundRes(101);
        MsgWarning(nullptr, QStringLiteral("a"));
        QCOMPARE(m_world->platform.Sequence(), QStringLiteral("101,102,103,104,box"));
    }
};

int main(int argc, char** argv)
{
    // The program's own application object, so exceptions escaping handlers are caught as in use.
    TavorenApplication app(argc, argv);
    tst_Common test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_common.moc"
