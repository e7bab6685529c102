#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QVarLengthArray>

#include <array>
#include <cstdint>

#include "core/CodePage.h"

// The field cipher of stored contact and account values: each byte of the text's code-page form
// goes through a fixed substitution, is mixed with its position by exclusive-or and is written as
// two upper-case hexadecimal digits. It is deterministic, so rows are found by enciphering the
// value looked for and comparing cipher texts in SQL.

// The substitution, a permutation of 0..255. Every stored value depends on it: never change it.
extern const std::array<std::uint16_t, 256> CipherTable;

QString Encrypt(QStringView text, const CodePage& codePage = CodePage::System());
QString Decrypt(QStringView cipherText, const CodePage& codePage = CodePage::System());
// The same on the ASCII bytes a recordset holds, without a detour through UTF-16.
QString Decrypt(QByteArrayView cipherText, const CodePage& codePage = CodePage::System());

// For bulk work, where a QString per value would cost more than the cipher itself:
// Encrypt's cipher text appended to out as the ASCII bytes the book stores,
void AppendEncrypted(QByteArray& out, QStringView text, const CodePage& codePage = CodePage::System());
// and the deciphered value's code-page bytes appended to out, as Decrypt reads them before
// they become text.
void AppendDecryptedBytes(QByteArray& out, QByteArrayView cipherText);
// Decrypt's text written into out: a value of ASCII alone reuses out's memory when it is not
// shared, so deciphering a million values one after the other allocates next to nothing.
void DecryptInto(QString& out, QByteArrayView cipherText, const CodePage& codePage = CodePage::System());

// Looks for a text inside enciphered values, as Decrypt(value).contains(wanted) would, case
// sensitive; an empty text finds every value that is not empty. In UTF-8 the values are searched as
// bytes, without a string made for each: a search runs over every record of the book.
class CipherTextFinder
{
public:
    explicit CipherTextFinder(const QString& wanted, const CodePage& codePage = CodePage::System());
    bool Matches(QByteArrayView cipherText) const;

private:
    QString m_wanted;
    QByteArray m_bytes;
    CodePage m_codePage;
    bool m_byBytes = false;
    mutable QVarLengthArray<char, 256> m_buffer;
};

// The building blocks, exposed for the tests that pin the format.
QString ByteToHex(int value);
int CipherIndexOf(int value);
