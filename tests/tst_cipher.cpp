// The field cipher and the code-page conversions under it. The cipher texts are what existing
// databases hold, so the golden values below must never change.
#include "app/CodePage.h"
#include "store/Encryption.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const CodePage Latin1("ISO-8859-1");

// A text whose UTF-16 units are the given bytes, so Latin-1 carries every byte value unchanged.
QString FromBytes(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes);
}

// What one deciphering step yields for a step value at 1-based step k.
char StepByte(int value, int k)
{
    return static_cast<char>(CipherIndexOf(value ^ (k & 0xFF)));
}

bool IsCipherText(const QString& cipher)
{
    return std::all_of(cipher.cbegin(), cipher.cend(),
                       [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); });
}

} // namespace

class tst_Cipher : public QObject
{
    Q_OBJECT

private slots:
    void tableIsAPermutation();
    void golden_data();
    void golden();
    void everyByteValueGolden();
    void byteToHex_data();
    void byteToHex();
    void hexToInt_data();
    void hexToInt();
    void digitsPerByte_data();
    void digitsPerByte();
    void oneByteChangesOneGroup();
    void longTexts_data();
    void longTexts();
    void longTextGoldenTail();
    void malformedCipherText_data();
    void malformedCipherText();
    void garbageNeverFails();
    void codePageRoundTrip_data();
    void codePageRoundTrip();
    void unencodableBecomesQuestionMark_data();
    void unencodableBecomesQuestionMark();
    void incompleteTailIsDropped_data();
    void incompleteTailIsDropped();
    void invalidLegacyBytesBecomeQuestionMarks();
};

void tst_Cipher::tableIsAPermutation()
{
    QList<int> seen(256, 0);
    for (const std::uint16_t value : CipherTable) {
        QVERIFY2(value < 256, qPrintable(QString::number(value)));
        ++seen[value];
    }
    QCOMPARE(seen, QList<int>(256, 1));

    for (int i = 0; i < 256; ++i) {
        QCOMPARE(CipherIndexOf(CipherTable[i]), i);
    }
    // A value the table does not hold has no index.
    QCOMPARE(CipherIndexOf(256), 0);
    QCOMPARE(CipherIndexOf(-1), 0);
    QCOMPARE(CipherIndexOf(0xFFFF), 0);
}

void tst_Cipher::golden_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QByteArray>("codePage");
    QTest::addColumn<QString>("cipher");

    QTest::newRow("empty") << QString() << QByteArray("UTF-8") << QString();
    QTest::newRow("empty GBK") << QString() << QByteArray("GBK") << QString();
    QTest::newRow("word") << u"Tavoren"_s << QByteArray("UTF-8") << u"868DE8A9C046CB"_s;
    QTest::newRow("name") << u"John Smith"_s << QByteArray("UTF-8") << u"42AF7FC82E3ECD66FE76"_s;
    QTest::newRow("phone") << u"13800138000"_s << QByteArray("UTF-8") << u"F8E25FECEDFFE754E1E2E3"_s;
    QTest::newRow("e-mail") << u"john.smith@example.com"_s << QByteArray("UTF-8")
                            << u"E4AF7FC8EB4ECD66FE76024C5381C5D4A552FD86B8DC"_s;
    QTest::newRow("name in GBK") << u"张三"_s << QByteArray("GBK") << u"1294E7C5"_s;
    QTest::newRow("name in UTF-8") << u"张三"_s << QByteArray("UTF-8") << u"A0DED7A717C0"_s;
    QTest::newRow("address in GBK") << u"北京市海淀区"_s << QByteArray("GBK") << u"1F1C3128F5AACA0518DB3187"_s;
    QTest::newRow("address in UTF-8") << u"北京市海淀区"_s << QByteArray("UTF-8")
                                      << u"A054CBA7C860A61A7CD11AB2D6B0BDB147DF"_s;
    QTest::newRow("name in Big5") << u"陳大文"_s << QByteArray("BIG5") << u"161805E103A7"_s;
    QTest::newRow("accent in CP1252") << u"Café"_s << QByteArray("CP1252") << u"0A8D497B"_s;
    QTest::newRow("accent in UTF-8") << u"Café"_s << QByteArray("UTF-8") << u"0A8D498729"_s;
}

void tst_Cipher::golden()
{
    QFETCH(QString, plain);
    QFETCH(QByteArray, codePage);
    QFETCH(QString, cipher);
    const CodePage page(codePage);

    QCOMPARE(Encrypt(plain, page), cipher);
    QCOMPARE(Decrypt(QStringView(cipher), page), plain);
    QCOMPARE(Decrypt(QByteArrayView(cipher.toLatin1()), page), plain);
    QCOMPARE(Decrypt(QStringView(cipher.toLower()), page), plain);
    QCOMPARE(Decrypt(QByteArrayView(cipher.toLower().toLatin1()), page), plain);
    if (page.IsUtf8() && CodePage::System().IsUtf8()) {
        QCOMPARE(Encrypt(plain), cipher);
        QCOMPARE(Decrypt(QStringView(cipher)), plain);
    }
}

// Every byte value in its own position: a change to any single table entry shows here.
void tst_Cipher::everyByteValueGolden()
{
    const QString expected = QStringLiteral("E39C15DBD78B681D8B1234A5989987318D960323A6F1BF92EB9F5235A2E29F4A"
                                            "0A46E825F2BD07D9B6BAB1798331C115D9CB30D46D223B1F65DBA636556E8733"
                                            "486C4B4FDCB3721CA0A608A3B0B49F11276E1E6CD27B3C9604832B1BFB88A948"
                                            "95EDEAF65C262D5315048E3BD9A4A3DDB542B63C82049CCD27C71BC53FA4DFEC"
                                            "33E0F6B211B7D806F74C97F1DB63B2F90955003F97698C50BD9486C78474CCD9"
                                            "7591E5A9A33744AFAD86CADDCBD6E3AADCAC03A339A7CD06AB10761961F58D38"
                                            "010000471650E8F22D713BB7CD48952B7D21F19064C5FD00EDBF94736B0B5E29"
                                            "568559C246473CBA4D959CE3A33F4D84F4CC4F97AC10293772AB265BB83F0123");
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i) {
        bytes[i] = static_cast<char>(i);
    }
    const QString plain = FromBytes(bytes);
    QCOMPARE(Encrypt(plain, Latin1), expected);
    QCOMPARE(Decrypt(QStringView(expected), Latin1), plain);
}

void tst_Cipher::byteToHex_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("hex");

    QTest::newRow("zero") << 0 << u"00"_s;
    QTest::newRow("one digit") << 5 << u"05"_s;
    QTest::newRow("fifteen") << 15 << u"0F"_s;
    QTest::newRow("sixteen") << 16 << u"10"_s;
    QTest::newRow("upper case") << 171 << u"AB"_s;
    QTest::newRow("largest byte") << 255 << u"FF"_s;
    QTest::newRow("past a byte") << 256 << u"100"_s;
    QTest::newRow("three digits") << 0xABC << u"ABC"_s;
}

void tst_Cipher::byteToHex()
{
    QFETCH(int, value);
    QFETCH(QString, hex);
    QCOMPARE(ByteToHex(value), hex);
}

void tst_Cipher::hexToInt_data()
{
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("value");

    QTest::newRow("zero") << u"00"_s << 0;
    QTest::newRow("upper") << u"FF"_s << 255;
    QTest::newRow("lower") << u"ff"_s << 255;
    QTest::newRow("mixed") << u"aB"_s << 171;
    QTest::newRow("single") << u"7"_s << 7;
    QTest::newRow("three digits") << u"1F2"_s << 0x1F2;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("leading non-digit") << u"G1"_s << 0;
    QTest::newRow("trailing non-digit") << u"1G"_s << 1;
    QTest::newRow("leading blank") << u" 1"_s << 0;
    QTest::newRow("sign") << u"-1"_s << 0;
    QTest::newRow("letter past F") << u"Fg"_s << 15;
    // Non-ASCII characters whose low byte is a digit are still not digits.
    QTest::newRow("L with stroke") << u"\u0141"_s << 0;
    QTest::newRow("fullwidth") << u"\uFF21\uFF11"_s << 0;
}

void tst_Cipher::hexToInt()
{
    QFETCH(QString, digits);
    QFETCH(int, value);
    QCOMPARE(HexToInt(digits), value);
}

void tst_Cipher::digitsPerByte_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QByteArray>("codePage");
    QTest::addColumn<int>("digits");

    QTest::newRow("three ASCII") << u"abc"_s << QByteArray("UTF-8") << 6;
    QTest::newRow("Chinese in GBK") << u"张"_s << QByteArray("GBK") << 4;
    QTest::newRow("Chinese in CP936") << u"张"_s << QByteArray("CP936") << 4;
    QTest::newRow("Chinese in Big5") << u"陳"_s << QByteArray("BIG5") << 4;
    QTest::newRow("Chinese in UTF-8") << u"张"_s << QByteArray("UTF-8") << 6;
    QTest::newRow("accent in CP1252") << u"é"_s << QByteArray("CP1252") << 2;
    QTest::newRow("euro in CP1252") << u"€"_s << QByteArray("CP1252") << 2;
    QTest::newRow("accent in UTF-8") << u"é"_s << QByteArray("UTF-8") << 4;
    QTest::newRow("emoji in UTF-8") << u"😀"_s << QByteArray("UTF-8") << 8;
    QTest::newRow("mixed in GBK") << u"a张b"_s << QByteArray("GBK") << 8;
}

void tst_Cipher::digitsPerByte()
{
    QFETCH(QString, plain);
    QFETCH(QByteArray, codePage);
    QFETCH(int, digits);
    const CodePage page(codePage);

    const QString cipher = Encrypt(plain, page);
    QCOMPARE(cipher.size(), digits);
    QVERIFY2(IsCipherText(cipher), qPrintable(cipher));
    QCOMPARE(Encrypt(QString(plain), page), cipher); // a fresh copy of the same text
    QCOMPARE(Decrypt(QStringView(cipher), page), plain);
}

void tst_Cipher::oneByteChangesOneGroup()
{
    // Positions on both sides of 255, where the position mixed in starts over.
    QByteArray base(300, '\0');
    for (int i = 0; i < base.size(); ++i) {
        base[i] = static_cast<char>('a' + i % 26);
    }
    const QString baseCipher = Encrypt(FromBytes(base), Latin1);
    for (const int index : {0, 1, 8, 254, 255, 256, 299}) {
        QByteArray changed = base;
        changed[index] = '#';
        const QString cipher = Encrypt(FromBytes(changed), Latin1);
        QCOMPARE(cipher.size(), baseCipher.size());
        QCOMPARE(cipher.left(index * 2), baseCipher.left(index * 2));
        QCOMPARE(cipher.mid(index * 2 + 2), baseCipher.mid(index * 2 + 2));
        QVERIFY(cipher.mid(index * 2, 2) != baseCipher.mid(index * 2, 2));
    }
}

void tst_Cipher::longTexts_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QByteArray>("codePage");

    QString text1000;
    for (int i = 0; i < 1000; ++i) {
        text1000 += QChar(u'!' + i % 90);
    }
    QStringList addresses;
    for (int i = 0; QStringView(addresses.join(u"; ")).toUtf8().size() < 600; ++i) {
        addresses << QStringLiteral("contact%1@example%2.com").arg(i).arg(i % 7);
    }
    const QString emails = addresses.join(u"; ");

    QTest::newRow("255 bytes") << QString(255, u'x') << QByteArray("UTF-8");
    QTest::newRow("256 bytes") << QString(256, u'x') << QByteArray("UTF-8");
    QTest::newRow("512 bytes") << QString(512, u'q') << QByteArray("UTF-8");
    QTest::newRow("1000 bytes") << text1000 << QByteArray("UTF-8");
    QTest::newRow("e-mail list") << emails << QByteArray("UTF-8");
    QTest::newRow("Chinese in GBK") << u"北京市海淀区中关村大街"_s.repeated(40) << QByteArray("GBK");
    QTest::newRow("Chinese in UTF-8") << u"北京市海淀区中关村大街"_s.repeated(40) << QByteArray("UTF-8");
    QTest::newRow("Chinese in Big5") << u"台北市信義區"_s.repeated(50) << QByteArray("BIG5");
}

void tst_Cipher::longTexts()
{
    QFETCH(QString, plain);
    QFETCH(QByteArray, codePage);
    const CodePage page(codePage);
    const QByteArray bytes = page.FromUnicode(plain);

    const QString cipher = Encrypt(plain, page);
    QCOMPARE(cipher.size(), bytes.size() * 2);
    QVERIFY(IsCipherText(cipher));
    QCOMPARE(Decrypt(QStringView(cipher), page), plain);
    QCOMPARE(Decrypt(QByteArrayView(cipher.toLatin1()), page), plain);

    // Every group is the byte's substitute mixed with the position's low eight bits.
    for (qsizetype p = 1; p <= bytes.size(); ++p) {
        const int substitute = CipherTable[static_cast<unsigned char>(bytes[p - 1])];
        QCOMPARE(cipher.mid((p - 1) * 2, 2), ByteToHex(substitute ^ static_cast<int>(p & 0xFF)));
    }
}

void tst_Cipher::longTextGoldenTail()
{
    const QString cipher = Encrypt(QString(260, u'x'), CodePage::Utf8());
    QCOMPARE(cipher.size(), 520);
    QCOMPARE(cipher.left(10), u"5F5C5D5A5B"_s);
    QCOMPARE(cipher.right(10), u"5E5F5C5D5A"_s);
}

void tst_Cipher::malformedCipherText_data()
{
    QTest::addColumn<QString>("cipher");
    QTest::addColumn<QByteArray>("expectedBytes");

    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("no valid digit") << u"G1"_s << QByteArray(1, StepByte(0, 1));
    QTest::newRow("valid leading digit") << u"1G"_s << QByteArray(1, StepByte(1, 1));
    QTest::newRow("two letters") << u"ZZ"_s << QByteArray(1, StepByte(0, 1));
    QTest::newRow("blanks") << u"  41"_s << QByteArray() + StepByte(0, 1) + StepByte(0x41, 2);
    QTest::newRow("single digit") << u"A"_s << QByteArray(1, StepByte(0xA, 1));
    QTest::newRow("odd length") << u"868DE8A9C046C"_s << QByteArray("Tavore") + StepByte(0xC, 7);
    QTest::newRow("odd lower case") << u"868de8a9c046c"_s << QByteArray("Tavore") + StepByte(0xC, 7);
    QTest::newRow("odd non-digit") << u"868DE8A9C046Z"_s << QByteArray("Tavore") + StepByte(0, 7);
    QTest::newRow("bad pair inside") << u"86XYE8"_s << QByteArray() + 'T' + StepByte(0, 2) + StepByte(0xE8, 3);
    QTest::newRow("accented") << u"é1"_s << QByteArray(1, StepByte(0, 1));
    QTest::newRow("digit then accented") << u"1é"_s << QByteArray(1, StepByte(1, 1));
    QTest::newRow("Chinese") << u"中文"_s << QByteArray(1, StepByte(0, 1));
    QTest::newRow("L with stroke") << u"\u01411"_s << QByteArray(1, StepByte(0, 1));
    QTest::newRow("fullwidth") << u"\uFF21\uFF11"_s << QByteArray(1, StepByte(0, 1));
    QTest::newRow("NUL") << QString(QChar(0)) + u"A"_s << QByteArray(1, StepByte(0, 1));
    QTest::newRow("digit NUL") << u"A"_s + QChar(0) << QByteArray(1, StepByte(0xA, 1));
}

void tst_Cipher::malformedCipherText()
{
    QFETCH(QString, cipher);
    QFETCH(QByteArray, expectedBytes);
    const QString expected = FromBytes(expectedBytes);

    QCOMPARE(Decrypt(QStringView(cipher), Latin1), expected);
    // The recordset's raw bytes: non-ASCII arrives as bytes >= 0x80, which are never digits.
    QCOMPARE(Decrypt(QByteArrayView(cipher.toUtf8()), Latin1).left(expected.size()), expected);
    QCOMPARE(Decrypt(QByteArrayView(cipher.toLatin1()), Latin1), expected);
}

void tst_Cipher::garbageNeverFails()
{
    QRandomGenerator random(20240611);
    const CodePage pages[] = {CodePage::Utf8(), CodePage("GBK"), CodePage("BIG5"), CodePage("CP1252"), Latin1};

    for (int round = 0; round < 200; ++round) {
        const qsizetype length = random.bounded(600);
        QByteArray bytes(length, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(random.bounded(256));
        }
        QString chars(length, QChar());
        for (QChar& c : chars) {
            c = QChar(static_cast<char16_t>(random.bounded(0x10000))); // lone surrogates included
        }
        for (const CodePage& page : pages) {
            const QString fromBytes = Decrypt(QByteArrayView(bytes), page);
            const QString fromChars = Decrypt(QStringView(chars), page);
            // A step yields one byte, and no code page here makes more characters than bytes.
            QVERIFY(fromBytes.size() <= (length + 1) / 2);
            QVERIFY(fromChars.size() <= (length + 1) / 2);
        }
        QCOMPARE(Decrypt(QByteArrayView(bytes), Latin1).size(), (length + 1) / 2);
    }

    QByteArray huge(4 * 1024 * 1024, 'Z');
    huge[12345] = '\0';
    for (const CodePage& page : pages) {
        QVERIFY(Decrypt(QByteArrayView(huge), page).size() <= huge.size() / 2);
        QVERIFY(Decrypt(QStringView(QString::fromLatin1(huge)), page).size() <= huge.size() / 2);
    }
}

void tst_Cipher::codePageRoundTrip_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QByteArray>("codePage");

    QTest::newRow("UTF-8") << u"张三 Café Zoë 😀 台北"_s << QByteArray("UTF-8");
    QTest::newRow("GBK") << u"张三 北京市海淀区 abc 123"_s << QByteArray("GBK");
    QTest::newRow("CP936") << u"联系人类型"_s << QByteArray("CP936");
    QTest::newRow("Big5") << u"陳大文 台北市信義區"_s << QByteArray("BIG5");
    QTest::newRow("CP1252") << u"Café Zoë naïve € Œuvre"_s << QByteArray("CP1252");
    QTest::newRow("ASCII in GBK") << u"john.smith@example.com"_s << QByteArray("GBK");
}

void tst_Cipher::codePageRoundTrip()
{
    QFETCH(QString, plain);
    QFETCH(QByteArray, codePage);
    const CodePage page(codePage);

    QVERIFY(page.CanEncode(plain));
    QCOMPARE(page.ToUnicode(page.FromUnicode(plain)), plain);
    QCOMPARE(Decrypt(QStringView(Encrypt(plain, page)), page), plain);
}

void tst_Cipher::unencodableBecomesQuestionMark_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QByteArray>("codePage");
    QTest::addColumn<QString>("stored");

    QTest::newRow("Chinese in CP1252") << u"张三"_s << QByteArray("CP1252") << u"??"_s;
    QTest::newRow("mixed in CP1252") << u"Café 张"_s << QByteArray("CP1252") << u"Café ?"_s;
    QTest::newRow("emoji in GBK") << u"a😀b"_s << QByteArray("GBK") << u"a?b"_s;
    QTest::newRow("emoji in Big5") << u"陳😀"_s << QByteArray("BIG5") << u"陳?"_s;
    QTest::newRow("simplified in Big5") << u"张大"_s << QByteArray("BIG5") << u"?大"_s;
    QTest::newRow("emoji in CP1252") << u"😀😀x"_s << QByteArray("CP1252") << u"??x"_s;
}

void tst_Cipher::unencodableBecomesQuestionMark()
{
    QFETCH(QString, plain);
    QFETCH(QByteArray, codePage);
    QFETCH(QString, stored);
    const CodePage page(codePage);

    QVERIFY(!page.CanEncode(plain));
    QVERIFY(page.CanEncode(stored));
    QCOMPARE(page.ToUnicode(page.FromUnicode(plain)), stored);
    QCOMPARE(Encrypt(plain, page), Encrypt(stored, page));
    QCOMPARE(Decrypt(QStringView(Encrypt(plain, page)), page), stored);
}

void tst_Cipher::incompleteTailIsDropped_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QByteArray>("codePage");
    QTest::addColumn<int>("cut");
    QTest::addColumn<QString>("expected");

    QTest::newRow("GBK") << u"张三"_s << QByteArray("GBK") << 1 << u"张"_s;
    QTest::newRow("Big5") << u"陳大"_s << QByteArray("BIG5") << 1 << u"陳"_s;
    QTest::newRow("UTF-8 one of three") << u"张三"_s << QByteArray("UTF-8") << 1 << u"张"_s;
    QTest::newRow("UTF-8 two of three") << u"张三"_s << QByteArray("UTF-8") << 2 << u"张"_s;
    QTest::newRow("UTF-8 emoji") << u"a😀"_s << QByteArray("UTF-8") << 1 << u"a"_s;
    QTest::newRow("UTF-8 emoji lead only") << u"a😀"_s << QByteArray("UTF-8") << 3 << u"a"_s;
}

void tst_Cipher::incompleteTailIsDropped()
{
    QFETCH(QString, plain);
    QFETCH(QByteArray, codePage);
    QFETCH(int, cut);
    QFETCH(QString, expected);
    const CodePage page(codePage);

    QByteArray bytes = page.FromUnicode(plain);
    bytes.chop(cut);
    QCOMPARE(page.ToUnicode(bytes), expected);
}

void tst_Cipher::invalidLegacyBytesBecomeQuestionMarks()
{
    QCOMPARE(CodePage("GBK").ToUnicode("a\xFF"
                                       "b"),
             u"a?b"_s);
    QCOMPARE(CodePage("BIG5").ToUnicode("\xFF"
                                        "x"),
             u"?x"_s);
}

QTEST_GUILESS_MAIN(tst_Cipher)
#include "tst_cipher.moc"
