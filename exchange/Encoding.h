#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// How the bytes of a contact file become text when the file does not say.

// The text of a file whose encoding is not declared: a byte-order mark, UTF-16 by its pattern of
// zero bytes, or valid UTF-8 first, otherwise the encoding ICU's detector names (GB18030, Big5,
// Windows-1252, ...). *unreadable counts the bytes the chosen encoding could not read.
QString DecodeText(const QByteArray& bytes, QByteArray* encoding = nullptr, qsizetype* unreadable = nullptr);
// The encoding of text DecodeText would choose, without decoding it.
QByteArray TextEncoding(const QByteArray& bytes);
// Whether a file is UTF-16, by its first bytes and its size (-1 when unknown).
bool IsWideText(QByteArrayView head, qint64 size);
// UTF-16 text as UTF-8 with a byte-order mark; any other unchanged.
QByteArray NarrowText(const QByteArray& bytes);
// The legacy encoding of bytes that are not UTF-8, as iconv names it.
QByteArray LegacyEncoding(const QByteArray& bytes);
