#include "store/Encryption.h"

#include <QVarLengthArray>

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "core/TextUtil.h"

// clang-format off
const std::array<std::uint16_t, 256> CipherTable = {
    226, 158,  22, 223, 210, 141, 111,  21, 130,  24,  63, 169, 149, 151, 136,  33,
    156, 132,  16,  55, 179, 231, 168, 138, 242, 133,  73,  41, 191, 252, 128, 106,
     43, 100, 203,   1, 215, 155,  32, 241, 159, 144, 154,  85, 174,  31, 238,  37,
    232, 249,   3, 224,  88,  20,  12,  39,  92, 225, 157,  10, 104,  80, 184, 115,
      9,  46,   8,  11, 153, 245,  53,  84, 233, 236,  67, 239, 253, 250, 208,  65,
    118,  60,  77,  56, 135,  45, 107, 206,  93, 217, 112,  71, 166, 214, 246,  40,
    244, 143, 137, 146,  57,  64,  74,  59, 124, 110, 229,  87, 180, 202, 204, 173,
    196,  48, 197,  72, 247, 114, 235, 181,  94, 189,  96, 185,  66, 218, 160, 108,
    178,  98, 117,  54, 148,  49,  95, 142, 126, 198,  28, 125,  86, 237,  61, 105,
    152, 199, 147, 171,   2, 255,  27, 200,  36,  14,  29,  91,  25, 234,  83, 121,
    212,  51,  70,  13,   6, 145, 227,   7,   4,  44,  97, 113, 102, 120,  76,  26,
    109,  30, 176,  23, 140,  17, 122, 190,  18, 170, 205, 165, 220,  75,  50, 248,
    192, 194, 195, 131, 211, 150,  47,  58, 228, 187, 240, 123,   0, 134,  90, 251,
    172, 243,  34,  68, 177,  19,  42, 216,  52, 101,  79, 175, 182, 213, 129, 201,
    183, 103, 186,  38, 163, 161, 219,  82, 164, 127, 119,  15,  78, 209, 162, 116,
      5,  62, 188,  99,  89, 230, 222, 207, 139,  81, 221, 167,  69, 193, 254,  35,
};
// clang-format on

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

// The inverse of CipherTable, built once instead of scanning the table for every byte.
const std::array<std::uint8_t, 256>& InverseTable()
{
    static const std::array<std::uint8_t, 256> inverse = [] {
        std::array<std::uint8_t, 256> result{};
        for (int i = 0; i < 256; ++i) {
            result[CipherTable[i]] = static_cast<std::uint8_t>(i);
        }
        return result;
    }();
    return inverse;
}

// Positions count from 1. Past byte 255 only the position's low eight bits take part, so every
// group stays two digits long and texts of any length read back.
inline unsigned PositionMask(qsizetype position)
{
    return static_cast<unsigned>(position) & 0xFFu;
}

// Hexadecimal digits' values by character, -1 for any other character.
constexpr std::array<std::int8_t, 256> HexValues = [] {
    std::array<std::int8_t, 256> values{};
    for (int c = 0; c < 256; ++c) {
        values[c] = c >= '0' && c <= '9'   ? static_cast<std::int8_t>(c - '0')
                    : c >= 'a' && c <= 'f' ? static_cast<std::int8_t>(c - 'a' + 10)
                    : c >= 'A' && c <= 'F' ? static_cast<std::int8_t>(c - 'A' + 10)
                                           : std::int8_t{-1};
    }
    return values;
}();

template <typename Char> inline int HexValue(Char c)
{
    const auto unit = static_cast<std::make_unsigned_t<Char>>(c);
    return unit < 256 ? HexValues[unit] : -1;
}

// The code-page bytes of a cipher text, written to out, which holds (length + 1) / 2 bytes. A step
// of two characters is worth its leading hexadecimal digits: both, the first alone, or 0 when
// none, so that damaged text still reads as it always has.
template <typename Char> void DecryptToBytes(const Char* cipher, qsizetype length, char* out)
{
    const auto& inverse = InverseTable();
    qsizetype i = 0;
    qsizetype k = 1;
    for (; i + 1 < length; i += 2, ++k) {
        const int high = HexValue(cipher[i]);
        const int low = HexValue(cipher[i + 1]);
        const int v = (high | low) >= 0 ? high * 16 + low : std::max(high, 0);
        *out++ = static_cast<char>(inverse[(static_cast<unsigned>(v) ^ PositionMask(k)) & 0xFFu]);
    }
    if (i < length) {
        *out = static_cast<char>(
            inverse[(static_cast<unsigned>(std::max(HexValue(cipher[i]), 0)) ^ PositionMask(k)) & 0xFFu]);
    }
}

template <typename Char> QString DecryptChars(const Char* cipher, qsizetype length, const CodePage& codePage)
{
    QVarLengthArray<char, 256> bytes((length + 1) / 2);
    DecryptToBytes(cipher, length, bytes.data());
    const QByteArrayView plain(bytes.data(), bytes.size());
    return codePage.IsUtf8() ? Utf8Text(plain) : codePage.ToUnicode(plain);
}

// Enciphers the bytes (or the ASCII units) into out, which holds 2 * length characters.
template <typename Char, typename Byte> void EncryptInto(Char* out, const Byte* bytes, qsizetype length)
{
    for (qsizetype p = 1; p <= length; ++p) {
        const unsigned v = CipherTable[static_cast<unsigned char>(bytes[p - 1])] ^ PositionMask(p);
        *out++ = static_cast<Char>(HexDigits[v >> 4]);
        *out++ = static_cast<Char>(HexDigits[v & 0xFu]);
    }
}

// Hands fn the code-page bytes of text. Most fields are ASCII: in UTF-8 their bytes are the
// UTF-16 units themselves, taken as they are.
template <typename Fn> void WithCodePageBytes(QStringView text, const CodePage& codePage, Fn&& fn)
{
    if (codePage.IsUtf8() && std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        fn(text.utf16(), text.size());
        return;
    }
    const QByteArray bytes = codePage.FromUnicode(text);
    fn(bytes.constData(), bytes.size());
}

} // namespace

QString Encrypt(QStringView text, const CodePage& codePage)
{
    QString cipher;
    WithCodePageBytes(text, codePage, [&](const auto* bytes, qsizetype length) {
        cipher = QString(length * 2, Qt::Uninitialized);
        EncryptInto(reinterpret_cast<char16_t*>(cipher.data()), bytes, length);
    });
    return cipher;
}

void AppendEncrypted(QByteArray& out, QStringView text, const CodePage& codePage)
{
    WithCodePageBytes(text, codePage, [&](const auto* bytes, qsizetype length) {
        const qsizetype start = out.size();
        out.resize(start + length * 2);
        EncryptInto(out.data() + start, bytes, length);
    });
}

QString Decrypt(QStringView cipherText, const CodePage& codePage)
{
    return DecryptChars(cipherText.utf16(), cipherText.size(), codePage);
}

QString Decrypt(QByteArrayView cipherText, const CodePage& codePage)
{
    return DecryptChars(cipherText.data(), cipherText.size(), codePage);
}

void DecryptInto(QString& out, QByteArrayView cipherText, const CodePage& codePage)
{
    QVarLengthArray<char, 256> bytes((cipherText.size() + 1) / 2);
    DecryptToBytes(cipherText.data(), cipherText.size(), bytes.data());
    const QByteArrayView plain(bytes.data(), bytes.size());
    if (codePage.IsUtf8() && std::all_of(plain.begin(), plain.end(), [](char c) { return (c & 0x80) == 0; })) {
        out.resize(plain.size());
        std::copy(plain.begin(), plain.end(), out.data());
        return;
    }
    out = codePage.IsUtf8() ? Utf8Text(plain) : codePage.ToUnicode(plain);
}

void AppendDecryptedBytes(QByteArray& out, QByteArrayView cipherText)
{
    const qsizetype start = out.size();
    out.resize(start + (cipherText.size() + 1) / 2);
    DecryptToBytes(cipherText.data(), cipherText.size(), out.data() + start);
}

QString ByteToHex(int value)
{
    QString digits = QString::number(value, 16).toUpper();
    return digits.size() == 1 ? QLatin1Char('0') + digits : digits;
}

int CipherIndexOf(int value)
{
    if (value < 0 || value > 255) {
        return 0;
    }
    return InverseTable()[static_cast<std::size_t>(value)];
}

CipherTextFinder::CipherTextFinder(const QString& wanted, const CodePage& codePage)
    : m_wanted(wanted), m_codePage(codePage)
{
    // UTF-8 finds the same places as bytes as it does as characters, as long as the text looked
    // for is plain UTF-8 and cannot stand for a byte that was not.
    const QByteArray bytes = wanted.toUtf8();
    m_byBytes =
        codePage.IsUtf8() && !wanted.contains(QChar::ReplacementCharacter) && QString::fromUtf8(bytes) == wanted;
    if (m_byBytes) {
        m_bytes = bytes;
    }
}

bool CipherTextFinder::Matches(QByteArrayView cipherText) const
{
    if (!m_byBytes) {
        const QString field = Decrypt(cipherText, m_codePage);
        return m_wanted.isEmpty() ? !field.isEmpty() : field.contains(m_wanted, Qt::CaseSensitive);
    }
    if (m_wanted.isEmpty()) {
        return !cipherText.isEmpty();
    }
    m_buffer.resize((cipherText.size() + 1) / 2);
    DecryptToBytes(cipherText.data(), cipherText.size(), m_buffer.data());
    return QByteArrayView(m_buffer.data(), m_buffer.size()).indexOf(m_bytes) >= 0;
}
