#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

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

    const QByteArray& Name() const { return m_name; }
    bool IsUtf8() const { return m_utf8; }

    // A character the code page cannot hold becomes '?'.
    QByteArray FromUnicode(QStringView text) const;
    // Bytes that are not valid in the code page become '?'; an incomplete sequence at the very
    // end (a value cut in the middle of a character) is dropped.
    QString ToUnicode(QByteArrayView bytes) const;
    // True when every character of the text survives a round trip through the code page.
    bool CanEncode(QStringView text) const;

    bool operator==(const CodePage& other) const { return m_name == other.m_name; }

private:
    QByteArray m_name;
    bool m_utf8;
};
