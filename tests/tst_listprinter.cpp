// Printing a list to PDF and reading it back: columns in display order, rows in the list's order,
// the heading on every page, page numbers, and a list wider than the paper.
#include <QHeaderView>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>

#include "main/ListPrinter.h"
#include "main/RecordListView.h"
#include "tests/support/Book.h"

using namespace Qt::StringLiterals;

class tst_ListPrinter : public QObject
{
    Q_OBJECT

private slots:
    void printed_data() { Book::AddRows(u"listprinter.txt"_s); }

    void printed()
    {
        QFETCH(int, rows);
        QFETCH(int, width);
        QStandardItemModel model(0, 3);
        model.setHorizontalHeaderLabels({u"Name"_s, u"Phone"_s, u"Mail"_s});
        for (int row = 0; row < rows; ++row) {
            model.appendRow({new QStandardItem(u"Person%1"_s.arg(row, 3, 10, QChar(u'0'))),
                             new QStandardItem(u"555-%1"_s.arg(row)), new QStandardItem(u"p%1@x.org"_s.arg(row))});
        }
        RecordListView list;
        list.setModel(&model);
        for (int i = 0; i < 3; ++i) {
            list.header()->resizeSection(i, width);
        }
        list.header()->moveSection(2, 0); // Mail first, as the user arranged it

        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(u"list.pdf"_s));
        ListPrinter(&list, u"Friends"_s, u"Page %1 of %2"_s).Render(&printer);

        QProcess reader;
        reader.start(u"pdftotext"_s, {u"-layout"_s, dir.filePath(u"list.pdf"_s), u"-"_s});
        QVERIFY(reader.waitForFinished());
        const QStringList pages = QString::fromUtf8(reader.readAllStandardOutput()).split(u'\f', Qt::SkipEmptyParts);
        const int count = static_cast<int>(pages.size());
        QCOMPARE(count > 1, rows > 100);
        int seen = 0;
        for (int i = 0; i < count; ++i) {
            const QString& page = pages[i];
            QVERIFY2(page.trimmed().startsWith(u"Friends"_s), qPrintable(page.left(80)));
            QVERIFY(page.contains(u"Page %1 of %2"_s.arg(i + 1).arg(count)));
            const qsizetype mail = page.indexOf(u"Mail"_s);
            QVERIFY(mail >= 0 && mail < page.indexOf(u"Name"_s) && page.indexOf(u"Name"_s) < page.indexOf(u"Phone"_s));
            // Each row once, in order, carried over from page to page.
            for (qsizetype at = page.indexOf(u"Person"_s); at >= 0; at = page.indexOf(u"Person"_s, at + 1)) {
                QCOMPARE(page.mid(at + 6, 3).toInt(), seen++);
            }
        }
        QCOMPARE(seen, rows);
    }

    // Values wider than the paper wrap in their column: every character of every value is on the
    // page, and nothing is shortened with an ellipsis.
    void neverCut_data() { Book::AddRows(u"listprinter.txt"_s); }

    void neverCut()
    {
        QFETCH(int, columns);
        QFETCH(int, length);
        QStandardItemModel model(0, columns);
        QStringList captions;
        for (int c = 0; c < columns; ++c) {
            captions.append(u"Column%1"_s.arg(c));
        }
        model.setHorizontalHeaderLabels(captions);
        QStringList values;
        for (int row = 0; row < 3; ++row) {
            QList<QStandardItem*> items;
            for (int c = 0; c < columns; ++c) {
                // One long unbroken value per row (an e-mail list), words of a few letters elsewhere.
                QString value = c == row % columns
                                    ? u"r%1c%2-"_s.arg(row).arg(c).leftJustified(length, u'x') + u"@x.org"_s
                                    : u"r%1c%2 with a few words"_s.arg(row).arg(c);
                values.append(value);
                items.append(new QStandardItem(value));
            }
            model.appendRow(items);
        }
        RecordListView list;
        list.setModel(&model);

        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath(u"list.pdf"_s));
        ListPrinter(&list, u"Friends"_s, u"Page %1 of %2"_s).Render(&printer);

        QProcess reader;
        reader.start(u"pdftotext"_s, {u"-raw"_s, dir.filePath(u"list.pdf"_s), u"-"_s});
        QVERIFY(reader.waitForFinished());
        QString text = QString::fromUtf8(reader.readAllStandardOutput());
        QVERIFY(!text.contains(u'\u2026'));
        text.remove(QRegularExpression(u"\\s"_s));
        for (QString value : values) {
            QVERIFY2(text.contains(value.remove(u' ')), qPrintable(value));
        }
    }
};

QTEST_MAIN(tst_ListPrinter)
#include "tst_listprinter.moc"
