#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// A byte encoding of text ("UTF-8", "GBK", "BIG5", "CP1252", ...), named as iconv names it.
// Stored values and settings files are kept in the system's code page; every routine that
// converts takes one of these as a value so tests can name the code page they need.
class CodePage
{
public:
    explicit CodePage(QByteArray name);

    static CodePage Utf8();
    // The code page of the process locale, read once; a plain C/POSIX locale counts as UTF-8
    // so non-ASCII text is never flattened to '?'.
    static const CodePage& System();
    // The iconv name of a character set as files name it ("utf8", "Windows-1252", "big5"), when it
    // is one of the text encodings contact files and language files use; nothing for any other
    // name, so a file cannot make the program open converters of its choosing.
    static std::optional<QByteArray> Known(QByteArrayView charset);
    // How many converters are open in this thread; the cache keeps only a few.
    static int OpenConverters();

    const QByteArray& Name() const { return m_name; }
    bool IsUtf8() const { return m_utf8; }

    // A character the code page cannot hold becomes '?'.
    QByteArray FromUnicode(QStringView text) const;
    // Bytes that are not valid in the code page become '?' (counted in *invalid when given); an
    // incomplete sequence at the very end (a value cut in the middle of a character) is dropped.
    // A leading U+FEFF is a character of the value, not a byte-order mark, and is kept.
    QString ToUnicode(QByteArrayView bytes, qsizetype* invalid = nullptr) const;
    // True when every character of the text survives a round trip through the code page.
    bool CanEncode(QStringView text) const;

    bool operator==(const CodePage& other) const { return m_name == other.m_name; }

private:
    QByteArray m_name;
    bool m_utf8;
};
