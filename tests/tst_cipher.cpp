// The field cipher and the code-page conversions under it. The cipher texts are what existing
// databases hold, so the golden values below must never change.
#include <QRandomGenerator>
#include <QtTest>

#include "core/CodePage.h"
#include "store/Encryption.h"

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
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QString>("cipher"); // null: only the per-byte rule is checked

        // Every byte value in its own position: pins every table entry, and the round trip every inverse.
        QByteArray everyByte(256, '\0');
        for (int i = 0; i < 256; ++i) {
            everyByte[i] = static_cast<char>(i);
        }
        QTest::newRow("every byte") << QString::fromLatin1(everyByte) << QByteArray("ISO-8859-1")
                                    << QStringLiteral(
                                           "E39C15DBD78B681D8B1234A5989987318D960323A6F1BF92EB9F5235A2E29F4A"
                                           "0A46E825F2BD07D9B6BAB1798331C115D9CB30D46D223B1F65DBA636556E8733"
                                           "486C4B4FDCB3721CA0A608A3B0B49F11276E1E6CD27B3C9604832B1BFB88A948"
                                           "95EDEAF65C262D5315048E3BD9A4A3DDB542B63C82049CCD27C71BC53FA4DFEC"
                                           "33E0F6B211B7D806F74C97F1DB63B2F90955003F97698C50BD9486C78474CCD9"
                                           "7591E5A9A33744AFAD86CADDCBD6E3AADCAC03A339A7CD06AB10761961F58D38"
                                           "010000471650E8F22D713BB7CD48952B7D21F19064C5FD00EDBF94736B0B5E29"
                                           "568559C246473CBA4D959CE3A33F4D84F4CC4F97AC10293772AB265BB83F0123");
        QTest::newRow("empty") << QString() << QByteArray("GBK") << QString();
        QTest::newRow("name") << u"John Smith"_s << QByteArray("UTF-8") << u"42AF7FC82E3ECD66FE76"_s;
        QTest::newRow("Chinese in GBK") << u"北京市海淀区"_s << QByteArray("GBK") << u"1F1C3128F5AACA0518DB3187"_s;
        QTest::newRow("Chinese in UTF-8") << u"张三"_s << QByteArray("UTF-8") << u"A0DED7A717C0"_s;
        QTest::newRow("Chinese in Big5") << u"陳大文"_s << QByteArray("BIG5") << u"161805E103A7"_s;
        QTest::newRow("accent in CP1252") << u"Café"_s << QByteArray("CP1252") << u"0A8D497B"_s;
        // Past byte 255 only the position's low eight bits are mixed in.
        QTest::newRow("960 bytes") << u"The quick brown fox; 0123456789!"_s.repeated(30) << QByteArray("UTF-8")
                                   << QString();
        QTest::newRow("ASCII, then not") << u"a😀é"_s << QByteArray("UTF-8") << QString();
        QTest::newRow("long GBK") << u"北京市海淀区中关村大街"_s.repeated(40) << QByteArray("GBK") << QString();
    }

    void golden()
    {
        QFETCH(QString, plain);
        QFETCH(QByteArray, codePage);
        QFETCH(QString, cipher);
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

    void codePage_data()
    {
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QString>("stored"); // what survives the code page

        QTest::newRow("UTF-8") << u"张三 Café 😀"_s << QByteArray("UTF-8") << u"张三 Café 😀"_s;
        QTest::newRow("CP1252") << u"Zoë € Œuvre"_s << QByteArray("CP1252") << u"Zoë € Œuvre"_s;
        QTest::newRow("Chinese in CP1252") << u"Café 张三"_s << QByteArray("CP1252") << u"Café ??"_s;
        QTest::newRow("emoji in GBK") << u"张😀b"_s << QByteArray("GBK") << u"张?b"_s;
        QTest::newRow("simplified in Big5") << u"张大"_s << QByteArray("BIG5") << u"?大"_s;
    }

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

    void toUnicode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("codePage");
        QTest::addColumn<QString>("expected");

        // A value cut inside a character loses that character; an invalid byte becomes '?'.
        QTest::newRow("GBK cut") << QByteArray("\xD5\xC5\xC8") << QByteArray("GBK") << u"张"_s; // 张 D5C5, 三 C8FD
        QTest::newRow("UTF-8 cut after two of three")
            << u"张三"_s.toUtf8().chopped(1) << QByteArray("UTF-8") << u"张"_s;
        QTest::newRow("UTF-8 emoji lead only") << u"a😀"_s.toUtf8().chopped(3) << QByteArray("UTF-8") << u"a"_s;
        QTest::newRow("GBK invalid byte") << QByteArray("a\xFF") + 'b' << QByteArray("GBK") << u"a?b"_s;
    }

    void toUnicode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, codePage);
        QFETCH(QString, expected);
        QCOMPARE(CodePage(codePage).ToUnicode(bytes), expected);
    }
};

QTEST_GUILESS_MAIN(tst_Cipher)
#include "tst_cipher.moc"
