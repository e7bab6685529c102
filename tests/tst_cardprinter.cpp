// Address cards printed to PDF and read back: every detail of every card on its page, the page
// breaks where the number a page asks, markup printed as the text it is, a card too long for its
// share of the page drawn whole, and the command on the selected contacts of the window.
#include <QAbstractItemView>
#include <QMenu>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "exchange/ContactFile.h"
#include "main/CardPrinter.h"
#include "main/RecordListModel.h"
#include "main/frmMain.h"
#include "store/Connection.h"
#include "store/ContactDetails.h"
#include "tests/support/Book.h"
#include "tests/support/TestSupport.h"

using namespace Qt::StringLiterals;

namespace {

// A small PNG, so a card has a photo to draw.
QByteArray Photo()
{
    QImage image(40, 60, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

ContactCard Card(int n)
{
    ContactCard card;
    card.name = u"Person%1"_s.arg(n, 2, 10, QLatin1Char('0'));
    card.homePhone = u"555-10%1"_s.arg(n);
    card.emails = u"p%1@home.example; p%1@work.example"_s.arg(n);
    card.qq = u"88%1"_s.arg(n);
    card.url = u"https://p%1.example"_s.arg(n);
    ContactDetails d;
    d.addresses = {
        {u"home"_s, u"%1 Elm Street"_s.arg(n), u"Flat 2"_s, {}, u"Springfield"_s, u"IL"_s, u"62701"_s, u"USA"_s},
        {u"work"_s, u"%1 Quay"_s.arg(n), {}, u"PO 9"_s, u"Cork"_s, {}, {}, u"Ireland"_s}};
    d.birthday = {0, 4, n % 28 + 1};
    d.nicknames = {u"Nick%1"_s.arg(n)};
    d.organisation = u"Initech"_s;
    d.title = u"Analyst"_s;
    d.note = u"First line of note %1\nSecond line"_s.arg(n);
    d.phones = {{u"fax"_s, u"555-20%1"_s.arg(n)}};
    d.messengers = {{u"skype"_s, u"p%1.live"_s.arg(n)}};
    d.photo = Photo();
    card.SetDetails(d);
    return card;
}

// The text of each page of a PDF, in order.
QStringList PdfPages(const QString& path)
{
    QProcess reader;
    reader.start(u"pdftotext"_s, {path, u"-"_s});
    if (!reader.waitForFinished(60000)) {
        return {};
    }
    QStringList pages = QString::fromUtf8(reader.readAllStandardOutput()).split(u'\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) {
        pages.removeLast();
    }
    return pages;
}

// Every value of a card as it is printed, split into lines (a wrapped value is read back in lines).
QStringList PrintedValues(const ContactCard& card)
{
    QStringList values{card.name};
    for (const auto& [label, value] : CardPrinter::Lines(card)) {
        values.append(label);
        values.append(value.split(u'\n'));
    }
    return values;
}

QStringList Render(const QList<ContactCard>& cards, int perPage, const QString& path)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    CardPrinter(cards, perPage, u"Page %1 of %2"_s).Render(&printer);
    return PdfPages(path);
}

// Collapses the blanks and line breaks pdftotext puts where a line wrapped, and the ligatures
// ("fi") the PDF's fonts print as one glyph.
QString Flat(QString text)
{
    return text.replace(u'\n', u' ').normalized(QString::NormalizationForm_KC).simplified();
}

} // namespace

class tst_CardPrinter : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_world.emplace(); }
    void cleanup() { m_world.reset(); }

    void printed_data()
    {
        QTest::addColumn<int>("perPage");
        QTest::addColumn<int>("cards");
        QTest::newRow("one a page") << 1 << 3;
        QTest::newRow("two a page, the last alone") << 2 << 5;
        QTest::newRow("four a page, full pages") << 4 << 8;
        QTest::newRow("four a page, one left over") << 4 << 9;
    }

    void printed()
    {
        QFETCH(int, perPage);
        QFETCH(int, cards);
        QList<ContactCard> list;
        for (int n = 0; n < cards; ++n) {
            list.append(Card(n));
        }
        QTemporaryDir dir;
        const QStringList pages = Render(list, perPage, dir.filePath(u"cards.pdf"_s));
        const int count = (cards + perPage - 1) / perPage;
        QCOMPARE(pages.size(), count);
        for (int p = 0; p < count; ++p) {
            const QString page = Flat(pages[p]);
            QVERIFY(page.contains(u"Page %1 of %2"_s.arg(p + 1).arg(count)));
            for (int n = 0; n < cards; ++n) {
                const bool here = n / perPage == p;
                QCOMPARE(page.contains(list[n].name), here);
                if (here) {
                    for (const QString& value : PrintedValues(list[n])) {
                        QVERIFY2(page.contains(Flat(value)), qPrintable(value + u" on page "_s + page));
                    }
                }
            }
        }
        // Every detail has its line: addresses, both dates' kinds, phones, messengers, the note.
        const QString first = Flat(pages[0]);
        for (const QString& value : {u"0 Elm Street"_s, u"Flat 2"_s, u"62701 Springfield"_s, u"PO 9"_s, u"04-01"_s,
                                     u"Nick0"_s, u"Initech"_s, u"Analyst"_s, u"555-200"_s, u"p0.live"_s,
                                     u"Second line"_s, u"p0@work.example"_s, u"https://p0.example"_s, u"880"_s}) {
            QVERIFY2(first.contains(value), qPrintable(value));
        }
    }

    // Markup in a name or a note is printed as typed, never read as formatting.
    void markupPrintedAsText()
    {
        ContactCard card;
        card.name = u"<b>Bold</b> &amp; <i>Co</i>"_s;
        ContactDetails d;
        d.note = u"<table><tr><td>cell</td></tr></table> <img src=\"x.png\"> &lt;"_s;
        card.SetDetails(d);
        QTemporaryDir dir;
        const QStringList pages = Render({card}, 1, dir.filePath(u"markup.pdf"_s));
        QCOMPARE(pages.size(), 1);
        const QString page = Flat(pages[0]);
        QVERIFY2(page.contains(card.name), qPrintable(page));
        QVERIFY2(page.contains(d.note), qPrintable(page));
    }

    // A card with more lines than a quarter page holds is drawn smaller, never cut.
    void longCardWhole()
    {
        ContactCard card = Card(1);
        QStringList lines;
        for (int i = 0; i < 120; ++i) {
            lines.append(u"Line%1 of a long note"_s.arg(i, 3, 10, QLatin1Char('0')));
        }
        card.EditDetails().note = lines.join(u'\n');
        QTemporaryDir dir;
        const QStringList pages = Render({card, Card(2), Card(3), Card(4)}, 4, dir.filePath(u"long.pdf"_s));
        QCOMPARE(pages.size(), 1);
        const QString page = Flat(pages[0]);
        for (const QString& line : lines) {
            QVERIFY2(page.contains(line), qPrintable(line));
        }
        QVERIFY(page.contains(u"Person04"_s));
    }

    // The command prints the contacts selected in the list, in the list's order, as many a page
    // as the item chosen says.
    void fromTheWindow()
    {
        const qint64 type = Book::AddType(u"Friends"_s);
        for (const QString& name : {u"Cat"_s, u"Abe"_s, u"Bea"_s}) {
            ContactDetails d;
            d.note = u"Note of "_s + name;
            WriteContactDetails(Conn, Book::AddRecord(type, name), d);
        }
        auto* w = new frmMain(); // closed when the test world goes
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTreeWidgetItem* node = w->NodeByKey(Book::Key(type));
        QTest::mouseClick(w->TreeView1->viewport(), Qt::LeftButton, {}, w->TreeView1->visualItemRect(node).center());
        QTRY_COMPARE(w->ListModel()->rowCount(), 3);
        auto rowCentre = [w](int row) { return w->ListView1->visualRect(w->ListModel()->index(row, 0)).center(); };
        QCOMPARE(w->ListModel()->index(0, 0).data().toString(), u"Abe"_s);
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, {}, rowCentre(2));                  // Cat
        QTest::mouseClick(w->ListView1->viewport(), Qt::LeftButton, Qt::ControlModifier, rowCentre(0)); // Abe

        m_world->platform.printFile = m_world->folder.Path() + u"cards.pdf"_s;
        auto* file = w->findChild<QMenu*>(u"mnuFile"_s);
        QTest::keyClick(w, Qt::Key_F, Qt::AltModifier);
        QTRY_VERIFY(file->isVisible());
        auto* cards = w->findChild<QMenu*>(u"mnuPrintCards"_s);
        QVERIFY(cards->menuAction()->isEnabled());
        QTest::mouseClick(file, Qt::LeftButton, {}, file->actionGeometry(cards->menuAction()).center());
        QTRY_VERIFY(cards->isVisible());
        QAction* one = w->findChild<QAction*>(u"mnuPrintCards_1"_s);
        QTest::mouseClick(cards, Qt::LeftButton, {}, cards->actionGeometry(one).center());
        QTRY_VERIFY(!file->isVisible());

        const QStringList pages = PdfPages(m_world->platform.printFile);
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages[0].contains(u"Abe"_s) && pages[0].contains(u"Note of Abe"_s));
        QVERIFY(pages[1].contains(u"Cat"_s) && pages[1].contains(u"Note of Cat"_s));
        QVERIFY(!pages.join(u' ').contains(u"Bea"_s));
    }

private:
    std::optional<TestWorld> m_world;
};

QTEST_MAIN(tst_CardPrinter)
#include "tst_cardprinter.moc"
