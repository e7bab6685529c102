// The field cipher and the code-page conversions under it. The cipher texts are what existing
// databases hold, so the golden values in tests/data/cipher.txt must never change.
#include <QRandomGenerator>
#include <QtTest>

#include "core/CodePage.h"
#include "store/Encryption.h"
#include "tests/support/Book.h"

using namespace Qt::StringLiterals;

static const CodePage Latin1("ISO-8859-1"); // carries every byte value unchanged

// What one deciphering step yields for a step value at 1-based step k.
static char StepByte(int value, int k)
{
    return static_cast<char>(CipherIndexOf(value ^ (k & 0xFF)));
}

class tst_Cipher : public QObject
{
    Q_OBJECT

private slots:
    void golden_data()
    {
        Book::AddRows(u"cipher.txt"_s);
        // Past byte 255 only the position's low eight bits are mixed in.
        QTest::newRow("960 bytes") << u"The quick brown fox; 0123456789!"_s.repeated(30) << QByteArray("UTF-8")
                                   << QString();
        QTest::newRow("long GBK") << u"北京市海淀区中关村大街"_s.repeated(40) << QByteArray("GBK") << QString();
    }

    void golden()
    {
        QFETCH(QString, plain);
        QFETCH(QByteArray, codePage);
        QFETCH(QString, cipher);
        if (plain == u"<every byte>") {
            plain.clear();
            for (int i = 0; i < 256; ++i) {
                plain += QChar(i);
            }
        }
        const CodePage page(codePage);
        const QByteArray bytes = page.FromUnicode(plain);

        const QString encrypted = Encrypt(plain, page);
        if (!cipher.isNull()) {
            QCOMPARE(encrypted, cipher);
        }
        // Each byte of the code-page form is one group: its substitute mixed with the position.
        QCOMPARE(encrypted.size(), bytes.size() * 2);
        for (qsizetype p = 1; p <= bytes.size(); ++p) {
            const int substitute = CipherTable[static_cast<unsigned char>(bytes[p - 1])];
            QCOMPARE(encrypted.mid((p - 1) * 2, 2), ByteToHex(substitute ^ static_cast<int>(p & 0xFF)));
        }
        QCOMPARE(Decrypt(QStringView(encrypted), page), plain);
        QCOMPARE(Decrypt(QByteArrayView(encrypted.toLower().toLatin1()), page), plain);
        if (page.IsUtf8() && CodePage::System().IsUtf8()) {
            QCOMPARE(Encrypt(plain), encrypted);
            QCOMPARE(Decrypt(QStringView(encrypted)), plain);
        }
    }

    void malformedCipherText_data()
    {
        QTest::addColumn<QString>("cipher");
        QTest::addColumn<QByteArray>("expectedBytes");

        QTest::newRow("odd length") << u"868de8a9c046C"_s << QByteArray("Tavore") + StepByte(0xC, 7);
        QTest::newRow("bad pair inside") << u"86XYE8"_s << QByteArray() + 'T' + StepByte(0, 2) + StepByte(0xE8, 3);
        QTest::newRow("digit then non-ASCII") << u"1é"_s << QByteArray(1, StepByte(1, 1));
        QTest::newRow("low byte looks like a digit") << u"\u01411"_s << QByteArray(1, StepByte(0, 1));
    }

    void malformedCipherText()
    {
        QFETCH(QString, cipher);
        QFETCH(QByteArray, expectedBytes);
        const QString expected = QString::fromLatin1(expectedBytes);

        QCOMPARE(Decrypt(QStringView(cipher), Latin1), expected);
        // The recordset's raw bytes: non-ASCII arrives as bytes >= 0x80, which are never digits.
        QCOMPARE(Decrypt(QByteArrayView(cipher.toUtf8()), Latin1).left(expected.size()), expected);
    }

    void garbageNeverFails()
    {
        QRandomGenerator random(20240611);
        const CodePage pages[] = {CodePage::Utf8(), CodePage("GBK"), CodePage("BIG5"), CodePage("CP1252")};
        for (int round = 0; round < 100; ++round) {
            const qsizetype length = random.bounded(600);
            QByteArray bytes(length, '\0');
            QString chars(length, QChar());
            for (qsizetype i = 0; i < length; ++i) {
                bytes[i] = static_cast<char>(random.bounded(256));
                chars[i] = QChar(static_cast<char16_t>(random.bounded(0x10000))); // lone surrogates too
            }
            for (const CodePage& page : pages) {
                QVERIFY(Decrypt(QByteArrayView(bytes), page).size() <= (length + 1) / 2);
                QVERIFY(Decrypt(QStringView(chars), page).size() <= (length + 1) / 2);
            }
            QCOMPARE(Decrypt(QByteArrayView(bytes), Latin1).size(), (length + 1) / 2);
        }
    }

    void codePage_data() { Book::AddRows(u"cipher.txt"_s); }

    void codePage()
    {
        QFETCH(QString, plain);
        QFETCH(QByteArray, codePage);
        QFETCH(QString, stored);
        const CodePage page(codePage);

        QCOMPARE(page.CanEncode(plain), plain == stored);
        QVERIFY(page.CanEncode(stored));
        QCOMPARE(page.ToUnicode(page.FromUnicode(plain)), stored);
        QCOMPARE(Encrypt(plain, page), Encrypt(stored, page));
        QCOMPARE(Decrypt(QStringView(Encrypt(plain, page)), page), stored);
    }

    void toUnicode_data() { Book::AddRows(u"cipher.txt"_s); }

    void toUnicode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, codePage);
        QTEST(CodePage(codePage).ToUnicode(bytes), "expected");
    }

    // A search over enciphered values finds exactly what deciphering and looking finds, also in
    // values that are not valid in their code page and for texts that only match bytes.
    // Deciphering into one text again and again reads as Decrypt does, whatever came before, and
    // leaves a copy taken of the text alone.
    void decryptIntoReusesTheText()
    {
        const CodePage utf8(QByteArrayLiteral("UTF-8"));
        const CodePage gbk(QByteArrayLiteral("GBK"));
        QString text;
        for (const CodePage* page : {&utf8, &gbk}) {
            for (const QString& value : {u"+49 30 1234"_s, u""_s, u"Müller"_s, u"王伟"_s, u"x"_s, u"\uFEFF\uFEFFmark"_s,
                                         u"Alexander Maximilian Schmidt-Ott"_s}) {
                const QByteArray cipher = Encrypt(value, *page).toLatin1();
                const QString held = text; // shares text's memory
                const QString before(held.constData(), held.size());
                DecryptInto(text, cipher, *page);
                QCOMPARE(text, Decrypt(QByteArrayView(cipher), *page));
                QCOMPARE(held, before);
            }
        }
    }

    void finderFindsWhatDecryptingFinds()
    {
        QRandomGenerator random(20261207);
        const QStringList wanted{u""_s,     u"a"_s,      u"ab"_s,     u"ü"_s,  u"中"_s,
                                 u"中文"_s, u"\uFFFD"_s, u"\uFEFF"_s, u"@ex"_s};
        QList<QByteArray> values{"",
                                 "a",
                                 "xab",
                                 "M\xC3\xBCller",
                                 "\xE4\xB8\xAD\xE6\x96\x87",
                                 "\xE2\xE4\xB8\xAD",
                                 "\xC3",
                                 "\xEF\xBB\xBF"
                                 "ab",
                                 "user@example.org",
                                 "\xFF\xFE"
                                 "a\xB8\xAD"};
        for (int round = 0; round < 200; ++round) {
            QByteArray bytes(random.bounded(12), '\0');
            for (char& b : bytes) {
                b = "a\xC3\xBC\xE4\xB8\xAD\x80\xFF"[random.bounded(8)];
            }
            values.append(bytes);
        }
        for (const CodePage& page : {CodePage::Utf8(), CodePage("GBK")}) {
            for (const QString& text : wanted) {
                const CipherTextFinder finder(text, page);
                for (const QByteArray& value : values) {
                    const QByteArray cipher = Encrypt(QString::fromLatin1(value), Latin1).toLatin1();
                    const QString field = Decrypt(QByteArrayView(cipher), page);
                    const bool expected = text.isEmpty() ? !field.isEmpty() : field.contains(text);
                    if (finder.Matches(cipher) != expected) {
                        QFAIL(
                            qPrintable(u"%1 in %2 (%3)"_s.arg(text, QString::fromLatin1(value.toHex()), page.Name())));
                    }
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(tst_Cipher)
#include "tst_cipher.moc"
