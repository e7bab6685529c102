// The list's model under Qt's own model checker: filling, sorting both ways, removing rows.
#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include "core/platform/SystemMemory.h"
#include "main/ColumnTexts.h"
#include "main/RecordListModel.h"
#include "main/SortKeys.h"
#include "store/Encryption.h"

using namespace Qt::StringLiterals;

class tst_ListModel : public QObject
{
    Q_OBJECT

private slots:
    void checkedByQt()
    {
        RecordListModel model;
        model.SetCollator(QCollator(QLocale(QLocale::English, QLocale::UnitedStates)));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.Begin(RecordListModel::Mode::Records, {{u"Name"_s}, {u"Count"_s, Qt::AlignRight, true}}, QIcon());
        const QStringList names{"bob", "Alice", "carol", "Dave", "alice"};
        const QStringList counts{"10", "9", "100", "", "9"};
        for (int i = 0; i < names.size(); ++i) {
            const QByteArray name = Encrypt(names[i]).toLatin1();
            const QByteArray count = Encrypt(counts[i]).toLatin1();
            const QByteArrayView row[] = {name, count};
            model.AddCipherRow(i + 1, row, i == 2);
        }
        model.End();
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.ListMode(), RecordListModel::Mode::Records);

        auto column = [&](int c) {
            QStringList texts;
            for (int row = 0; row < model.rowCount(); ++row) {
                texts.append(model.Text(row, c));
            }
            return texts;
        };
        // Case ignored, equal names in load order; numbers by value.
        model.sort(0, Qt::AscendingOrder);
        QCOMPARE(column(0), (QStringList{"Alice", "alice", "bob", "carol", "Dave"}));
        QVERIFY(model.HasWebAddress(3) && !model.HasWebAddress(0) && !model.HasWebAddress(99));
        model.sort(1, Qt::DescendingOrder);
        QCOMPARE(column(1), (QStringList{"100", "10", "9", "9", ""}));
        QCOMPARE(column(0), (QStringList{"carol", "bob", "Alice", "alice", "Dave"})); // ties in load order
        QCOMPARE(model.RowOfKey(u"_3"_s), 0);

        model.RemoveIds({4, 3, 99});
        QCOMPARE(column(0), (QStringList{"bob", "Alice", "alice"}));
        model.RemoveRowAt(1);
        QCOMPARE(model.Key(1), u"_5"_s);
        model.sort(0, Qt::AscendingOrder);
        QCOMPARE(column(0), (QStringList{"alice", "bob"}));
        model.Clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.ListMode(), RecordListModel::Mode::None);
    }

    // A list loaded with one column, the rest read from its source when shown or sorted by,
    // shows the same cells in the same order as one loaded whole; a saved record is put where a
    // reload would show it.
    void lazyColumnsShowTheSame()
    {
        const QStringList names{"bob", "Alice", "carol", "Dave", "alice", "Émile", "张三"};
        const QStringList phones{"5", "3", "", "1", "4", "2", "0"};
        std::vector<QByteArray> cipher;
        for (int i = 0; i < names.size(); ++i) {
            cipher.push_back(Encrypt(names[i]).toLatin1());
            cipher.push_back(Encrypt(phones[i]).toLatin1());
        }
        const std::vector<RecordListModel::Column> columns{{u"Name"_s}, {u"Phone"_s}};
        const QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
        RecordListModel whole;
        whole.SetCollator(collator);
        whole.Begin(RecordListModel::Mode::Records, columns, QIcon());
        for (int i = 0; i < names.size(); ++i) {
            const QByteArrayView row[] = {cipher[2 * i], cipher[2 * i + 1]};
            whole.AddCipherRow(10 + i, row, i % 2 == 0);
        }
        whole.End();

        RecordListModel lazy;
        lazy.SetCollator(collator);
        QStringList asked;
        lazy.Begin(RecordListModel::Mode::Records, columns, QIcon());
        lazy.SetSource({[&](const std::vector<qint64>& ids, const RecordListModel::RowSink& sink) {
                            asked.append(u"rows %1"_s.arg(ids.size()));
                            for (const qint64 id : ids) {
                                const auto i = static_cast<std::size_t>(id - 10);
                                const QByteArrayView row[] = {cipher[2 * i], cipher[2 * i + 1]};
                                sink(id, row, i % 2 == 0);
                            }
                            sink(99, nullptr, false); // a key the list does not hold
                        },
                        [&](int column, const RecordListModel::ColumnSink& sink) {
                            asked.append(u"column %1"_s.arg(column));
                            for (int i = 0; i < names.size(); ++i) {
                                sink(10 + i, cipher[static_cast<std::size_t>(2 * i + column)]);
                            }
                        }});
        for (const int i : {6, 2, 0, 4, 1, 3, 5}) { // as an index hands them out
            lazy.AddKeyedRow(10 + i, 0, cipher[static_cast<std::size_t>(2 * i)]);
        }
        lazy.End();

        auto cells = [](const RecordListModel& model) {
            QStringList texts;
            for (int row = 0; row < model.rowCount(); ++row) {
                texts.append(model.Text(row, 0) + u'|' + model.Text(row, 1) + u'|' +
                             QString::number(model.HasWebAddress(row)));
            }
            return texts;
        };
        for (const auto& [column, order] : {std::pair(1, Qt::AscendingOrder), std::pair(0, Qt::DescendingOrder),
                                            std::pair(1, Qt::DescendingOrder), std::pair(0, Qt::AscendingOrder)}) {
            whole.sort(column, order);
            lazy.sort(column, order);
            QCOMPARE(cells(lazy), cells(whole));
        }
        // One statement for the column sorted by, one for the rows on screen.
        QCOMPARE(asked, (QStringList{"column 1", "rows 7"}));

        // An edited record moves to its place; a new one comes last in load order, one that comes
        // back (an undone delete) by its key.
        const QByteArray renamed = Encrypt(u"Aaron"_s).toLatin1();
        const QByteArray added = Encrypt(u"alice"_s).toLatin1();
        for (RecordListModel* model : {&whole, &lazy}) {
            const QByteArrayView edited[] = {renamed, cipher[1]};
            QVERIFY(model->PutRecord(10, edited, true, 0, Qt::AscendingOrder));
            const QByteArrayView fresh[] = {added, cipher[3]};
            QVERIFY(model->PutRecord(20, fresh, false, 0, Qt::AscendingOrder));
            const QByteArrayView old[] = {added, cipher[3]};
            QVERIFY(model->PutRecord(5, old, false, 0, Qt::AscendingOrder));
        }
        QCOMPARE(cells(lazy).first(), u"Aaron|5|1"_s);
        // Equal texts in key order: the one come back (5) first, the new one (20) last.
        QCOMPARE(cells(lazy).mid(1, 4), (QStringList{"alice|3|0", "Alice|3|0", "alice|4|1", "alice|3|0"}));
        QCOMPARE(cells(lazy), cells(whole));
        lazy.sort(0, Qt::DescendingOrder);
        whole.sort(0, Qt::DescendingOrder);
        QCOMPARE(cells(lazy), cells(whole));
    }

    // Keys removed by the thousand (found by a walk beside the list's keys) or by the few (found
    // one by one): absent and repeated keys pass over, the others leave in one change with the
    // order of the rest kept; a single row shown among the keys leaves alone, keeping the rest.
    void removeIds()
    {
        RecordListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.Begin(RecordListModel::Mode::Records, {{u"Name"_s}}, QIcon());
        const int count = 3000;
        for (int i = 0; i < count; ++i) {
            // Keys 3, 6, 9...; names in the reverse order of keys.
            const QByteArray name = Encrypt(u"n%1"_s.arg(count - i, 5, 10, QLatin1Char('0'))).toLatin1();
            const QByteArrayView row[] = {name};
            model.AddCipherRow(3 * (i + 1), row, false);
        }
        model.End();
        model.sort(0, Qt::AscendingOrder);
        std::vector<qint64> shown; // keys by row
        for (int i = count; i >= 1; --i) {
            shown.push_back(3 * i);
        }
        const auto check = [&] {
            QCOMPARE(model.rowCount(), static_cast<int>(shown.size()));
            for (int row = 0; row < model.rowCount(); ++row) {
                QCOMPARE(model.Id(row), shown[static_cast<std::size_t>(row)]);
            }
        };
        const auto remove = [&](const QList<qint64>& ids) {
            model.RemoveIds(ids);
            std::erase_if(shown, [&](qint64 id) { return ids.contains(id); });
        };

        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
        QList<qint64> many;
        for (qint64 id = 1; id <= 3 * count + 10; id += 2) { // every other key, absent ones between
            many.append(id);
        }
        many.append(9); // twice
        std::reverse(many.begin(), many.end());
        remove(many);
        check();
        QCOMPARE(resets.size(), 1);

        remove({12, 7, 600, 36, 100000, 1200});
        check();
        QCOMPARE(resets.size(), 2);

        remove({4, 5, shown[5], -1}); // one of them shown
        check();
        QCOMPARE(resets.size(), 2);
        QCOMPARE(removals.size(), 1);
        QCOMPARE(removals.first().at(1).toInt(), 5);

        remove({shown.front(), shown.back()}); // the first and the last row
        check();
        remove({1, 2});
        check();
        QCOMPARE(resets.size(), 3);
    }

    // The memory a long list's keys are made in: a growing array keeps what it holds as it moves
    // into memory of its own, and every byte asked for is there to write, small or large.
    void largeMemory()
    {
        LargeVector<int> values;
        for (int i = 0; i < 1000000; ++i) {
            values.push_back(i);
        }
        QVERIFY(values.capacity() * sizeof(int) >= LargeFrom);
        QCOMPARE(values[0], 0);
        QCOMPARE(values[524287], 524287);
        QCOMPARE(values.back(), 999999);
#ifdef __linux__
        QCOMPARE(reinterpret_cast<std::uintptr_t>(values.data()) % LargeFrom, std::uintptr_t{0});
#endif
        for (const std::size_t bytes : {std::size_t{100}, LargeFrom + 12345}) {
            auto* memory = static_cast<unsigned char*>(AllocateLarge(bytes));
            std::fill(memory, memory + bytes, 0xff);
            QVERIFY(std::all_of(memory, memory + bytes, [](unsigned char c) { return c == 0xff; }));
            FreeLarge(memory, bytes);
        }
    }

    // A column's texts by row: rows not read stay apart from read ones (an empty text is read)
    // through growth, a row coming back among them, a whole read taken over, and the reordering
    // of a whole list.
    void columnTexts()
    {
        ColumnTexts texts;
        QByteArrayView text;
        QVERIFY(!texts.Find(0, &text));
        texts.Set(2, "", 1000000);
        texts.Set(999999, "last", 1000000);
        QCOMPARE(texts.Size(), std::size_t{1000000});
        QVERIFY(texts.Find(2, &text) && text.isEmpty());
        QVERIFY(!texts.Find(0, &text) && !texts.Find(3, &text) && !texts.Find(1000000, &text));
        texts.InsertMissing(1);
        QVERIFY(!texts.Find(1, &text) && !texts.Find(2, &text));
        QVERIFY(texts.Find(3, &text) && text.isEmpty());
        QVERIFY(texts.Find(1000000, &text) && text == "last");
        texts.Set(1000001, "past", 0); // growing past what was set aside keeps what was there
        QVERIFY(texts.Find(1000000, &text) && text == "last");
        QVERIFY(!texts.Find(999999, &text));
        texts.Permute({3, 1000001, 0});
        QCOMPARE(texts.Size(), std::size_t{3});
        QVERIFY(texts.Find(0, &text) && text.isEmpty());
        QVERIFY(texts.Find(1, &text) && text == "past");
        QVERIFY(!texts.Find(2, &text));

        // A read's blocks, taken as one: texts at the start, the middle and the end of a block,
        // and empty ones where an empty block lies and at the very end. The whole column's places
        // are set aside at once, as a read does, and grown past afterwards.
        std::vector<ColumnTexts::Block> blocks{{'a', 'b', 'c'}, {}, {'d', 'e'}, {'f'}};
        const std::vector<std::pair<quint32, quint32>> spans{{1, 2}, {0, 1}, {3, 0}, {3, 2}, {4, 1}, {5, 1}, {6, 0}};
        texts.TakeBlocks(std::move(blocks), spans.size());
        QVERIFY(!texts.Find(0, &text));
        for (std::size_t row = 0; row < spans.size(); ++row) {
            texts.Place(row, spans[row], spans.size());
        }
        QVERIFY(texts.Find(0, &text) && text == "bc");
        QVERIFY(texts.Find(1, &text) && text == "a");
        QVERIFY(texts.Find(2, &text) && text.isEmpty());
        QVERIFY(texts.Find(3, &text) && text == "de");
        QVERIFY(texts.Find(4, &text) && text == "e");
        QVERIFY(texts.Find(5, &text) && text == "f");
        QVERIFY(texts.Find(6, &text) && text.isEmpty());
        texts.Permute({0, 1, 2});
        QVERIFY(!texts.Find(3, &text));
        texts.Set(4, "more", 0);
        QVERIFY(texts.Find(4, &text) && text == "more" && !texts.Find(3, &text));
        QVERIFY(texts.Find(0, &text) && text == "bc");
        // Texts set after a read's bytes were taken never move those bytes, however many come.
        const char* read = text.data();
        for (std::size_t row = 5; row < 100000; ++row) {
            texts.Set(row, QByteArray::number(static_cast<qulonglong>(row)), 0);
        }
        QVERIFY(texts.Find(0, &text) && text == "bc" && text.data() == read);

        // A read of more rows than fit a large block's worth of places, reordered whole.
        ColumnTexts many;
        std::vector<ColumnTexts::Block> letters{{'x', 'y', 'z'}};
        constexpr std::size_t Many = 300000;
        many.TakeBlocks(std::move(letters), Many);
        std::vector<int> reversed;
        for (std::size_t row = 0; row < Many; ++row) {
            many.Place(row, {row % 3, 1}, Many);
            reversed.push_back(static_cast<int>(Many - 1 - row));
        }
        many.Permute(reversed);
        QVERIFY(many.Find(0, &text) && text == "z"); // row 299,999's
        QVERIFY(many.Find(Many - 1, &text) && text == "x" && many.Find(Many - 2, &text) && text == "y");
        QVERIFY(texts.Find(1, &text) && text == "a");
        QVERIFY(texts.Find(4, &text) && text == "more");
        QVERIFY(texts.Find(99999, &text) && text == "99999");
        texts.Permute({99999, 1});
        QVERIFY(texts.Find(0, &text) && text == "99999");
        QVERIFY(texts.Find(1, &text) && text == "a");
    }

    // A column read elsewhere for a re-sort comes into the rows the list holds: keys it does not
    // hold are passed over, rows the read missed sort last, and the texts read are the ones shown,
    // whether the read's keys come in key order or not.
    void adoptedColumn_data()
    {
        QTest::addColumn<bool>("keyOrder");
        QTest::addColumn<bool>("sameRows");
        QTest::newRow("in key order") << true << false;
        QTest::newRow("out of order") << false << false;
        QTest::newRow("the list's rows, one for one") << true << true;
    }

    void adoptedColumn()
    {
        QFETCH(bool, keyOrder);
        QFETCH(bool, sameRows);
        RecordListModel model;
        model.SetCollator(QCollator(QLocale(QLocale::English, QLocale::UnitedStates)));
        model.Begin(RecordListModel::Mode::Records, {{u"Name"_s}, {u"Phone"_s}}, QIcon());
        for (const int id : {14, 10, 12, 11, 13}) {
            model.AddKeyedRow(id, 0, Encrypt(u"n%1"_s.arg(id)).toLatin1());
        }
        model.End();
        // The read: 12 gone meanwhile, 99 never listed; phones sort the other way round.
        RowKeys ids = sameRows ? RowKeys{10, 11, 12, 13, 14} : RowKeys{10, 11, 13, 14, 99};
        if (!keyOrder) {
            std::reverse(ids.begin(), ids.end());
        }
        ColumnTexts texts;
        RowKeys byPhone = ids;
        std::sort(byPhone.begin(), byPhone.end(), std::greater<>());
        RowPlaces ranks;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            texts.Set(i, Encrypt(u"p%1"_s.arg(100 - ids[i])).toLatin1(), ids.size());
            ranks.push_back(static_cast<quint32>(std::find(byPhone.begin(), byPhone.end(), ids[i]) - byPhone.begin()));
        }
        model.AdoptColumn(1, ids, std::move(texts), ranks);
        model.sort(1, Qt::AscendingOrder);
        QStringList rows;
        for (int row = 0; row < model.rowCount(); ++row) {
            rows.append(model.Text(row, 0) + u'|' + model.Text(row, 1));
        }
        const QStringList expected = sameRows ? QStringList{"n14|p86", "n13|p87", "n12|p88", "n11|p89", "n10|p90"}
                                              : QStringList{"n14|p86", "n13|p87", "n11|p89", "n10|p90", "n12|"};
        QCOMPARE(rows, expected);
    }

    // The flat keys order exactly as QCollator does, without regard to case, in each language
    // the program collates by: long shared beginnings (past the keys' first 16 bytes), keys that
    // end where another goes on, accents, punctuation and both Chinese orders. Past 20,000 texts
    // the keys are made and sorted in two halves.
    void sortKeysAgreeWithQCollator_data()
    {
        // Long lists (the halves) also make the keys of digits and punctuation without the collator.
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("numeric");
        QTest::addColumn<bool>("ignorePunctuation");
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        const QLocale simplified(QLocale::Chinese, QLocale::China);
        const QLocale traditional(QLocale::Chinese, QLocale::Taiwan);
        QTest::newRow("English") << english << 1 << false << false;
        QTest::newRow("Simplified Chinese") << simplified << 1 << false << false;
        QTest::newRow("Traditional Chinese") << traditional << 1 << false << false;
        QTest::newRow("English, two halves") << english << 500 << false << false;
        QTest::newRow("English, each half sorted in two") << english << 1000 << false << false;
        QTest::newRow("Simplified Chinese, two halves") << simplified << 500 << false << false;
        QTest::newRow("Traditional Chinese, two halves") << traditional << 500 << false << false;
        QTest::newRow("Slovak, two halves") << QLocale(QLocale::Slovak, QLocale::Slovakia) << 500 << false << false;
        QTest::newRow("Hungarian, two halves")
            << QLocale(QLocale::Hungarian, QLocale::Hungary) << 500 << false << false;
        QTest::newRow("Catalan, two halves") << QLocale(QLocale::Catalan, QLocale::Spain) << 500 << false << false;
        QTest::newRow("Swedish, two halves") << QLocale(QLocale::Swedish, QLocale::Sweden) << 500 << false << false;
        QTest::newRow("numbers by value") << english << 500 << true << false;
        QTest::newRow("punctuation ignored") << english << 500 << false << true;
    }
    void sortKeysAgreeWithQCollator()
    {
        QFETCH(QLocale, locale);
        QFETCH(int, copies);
        QFETCH(bool, numeric);
        QFETCH(bool, ignorePunctuation);
        const QStringList samples{u""_s,
                                  u"a"_s,
                                  u"A"_s,
                                  u"ab"_s,
                                  u"Åsa"_s,
                                  u"Asa"_s,
                                  u"asa"_s,
                                  u"Zoë"_s,
                                  u"zoe"_s,
                                  u"Müller"_s,
                                  u"Muller"_s,
                                  u"Mueller"_s,
                                  u"O'Brien"_s,
                                  u"OBrien"_s,
                                  u"o-brien"_s,
                                  u"+49 30 1234"_s,
                                  u"+49 30 12345"_s,
                                  u"(030) 1234"_s,
                                  u"+1 (555) 010-9999"_s,
                                  u"030/1234 56"_s,
                                  u"#31#*"_s,
                                  u"1,234.5"_s,
                                  u" "_s,
                                  u"-"_s,
                                  u"+49 30 1234 ext. 5"_s,
                                  u"+49 30 1234 Ext. 5"_s,
                                  u"１２３"_s,
                                  u"1234"_s,
                                  u"1234\u0301"_s,
                                  u"1\u03012"_s,
                                  u"⑩"_s, // the weights of "10", at a level the list does not tell apart
                                  u"Chovan"_s,
                                  u"Cyril"_s,
                                  u"Hrasko"_s,
                                  u"Csaba"_s,
                                  u"Cukor"_s,
                                  u"Dzsenifer"_s,
                                  u"Dzurik"_s,
                                  u"Nagy"_s,
                                  u"Nyitrai"_s,
                                  u"Sas"_s,
                                  u"Szabo"_s,
                                  u"Zsolt"_s,
                                  u"Zoltan"_s,
                                  u"Col·lecció"_s, // a contraction with a character past ASCII
                                  u"Collecció"_s,
                                  u"Collection"_s,
                                  u"Vincent"_s,
                                  u"Winter"_s,
                                  u"user12@example.org"_s,
                                  QString(60, u'7'),
                                  u"10"_s,
                                  u"9"_s,
                                  u"Alexander Maximilian Schmidt"_s,
                                  u"Alexander Maximilian Schmidt-Ott"_s,
                                  u"ALEXANDER MAXIMILIAN SCHMIDT"_s,
                                  u"Alexander Maximilian Schmidtt"_s,
                                  u"王伟"_s,
                                  u"王芳"_s,
                                  u"李娜"_s,
                                  u"张秀英"_s,
                                  u"陈"_s,
                                  u"黄静"_s,
                                  u"趙強"_s,
                                  u"劉磊"_s,
                                  u"émile"_s,
                                  u"Emile"_s,
                                  u"😀"_s,
                                  u"a😀b"_s};
        QStringList texts;
        for (int copy = 0; copy < copies; ++copy) {
            for (const QString& sample : samples) {
                texts.append(copies > 1 ? sample + QString::number(copy % 97) : sample);
            }
        }
        QCollator collator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        collator.setNumericMode(numeric);
        collator.setIgnorePunctuation(ignorePunctuation);
        const SortKeys keys(collator);
        const RowPlaces ranks =
            keys.Ranks(static_cast<std::size_t>(texts.size()), [&](std::size_t i) { return texts[qsizetype(i)]; });
        // Every pair among the samples, and each text against a sample at random past that.
        const auto check = [&](qsizetype a, qsizetype b) {
            const int expected = collator.compare(texts[a], texts[b]);
            const auto x = ranks[std::size_t(a)];
            const auto y = ranks[std::size_t(b)];
            if ((expected < 0) != (x < y) || (expected == 0) != (x == y) ||
                (expected < 0) != (keys.Compare(texts[a], texts[b]) < 0)) {
                QFAIL(qPrintable(
                    u"%1 <=> %2: collator %3, ranks %4 %5"_s.arg(texts[a], texts[b]).arg(expected).arg(x).arg(y)));
            }
        };
        const qsizetype pairs = std::min<qsizetype>(texts.size(), 2 * samples.size());
        for (qsizetype a = 0; a < pairs; ++a) {
            for (qsizetype b = 0; b < pairs; ++b) {
                check(a, b);
            }
        }
        for (qsizetype a = 0; a < texts.size(); ++a) {
            check(a, QRandomGenerator::global()->bounded(texts.size()));
        }
        // A place is the count of texts before it, however the ranking was shared out: equal
        // texts share the first one's, and the next text's place counts them all.
        std::vector<std::uint32_t> places(ranks.begin(), ranks.end());
        std::sort(places.begin(), places.end());
        for (std::size_t i = 0; i < places.size(); ++i) {
            if (i == 0 || places[i] != places[i - 1]) {
                QCOMPARE(places[i], std::uint32_t(i));
            }
        }
    }
};

QTEST_MAIN(tst_ListModel)
#include "tst_listmodel.moc"
