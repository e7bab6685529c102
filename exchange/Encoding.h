#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// How the bytes of a contact file become text when the file does not say.

// What the weighing of the legacy code pages found: the page, whether the evidence for it is weak
// (another page reads the text about as plausibly, or none reads it well), and a value of the text
// as that page reads it, for the user to judge.
struct LegacyGuess
{
    QByteArray name;
    bool weak = false;
    QString example;
};

// The text of a file whose encoding is not declared: a byte-order mark, UTF-16 by its pattern of
// zero bytes, or valid UTF-8 first, otherwise the legacy code page LegacyEncoding chooses.
// *unreadable counts the bytes the chosen encoding could not read.
QString DecodeText(const QByteArray& bytes, QByteArray* encoding = nullptr, qsizetype* unreadable = nullptr);
// The encoding of text DecodeText would choose, without decoding it.
// *guess, when given, is filled in when the text is in a legacy code page (and left alone else).
QByteArray TextEncoding(const QByteArray& bytes, LegacyGuess* guess = nullptr);
// Whether a file is UTF-16, by its first bytes and its size (-1 when unknown).
bool IsWideText(QByteArrayView head, qint64 size);
// UTF-16 text as UTF-8 with a byte-order mark; any other unchanged.
QByteArray NarrowText(const QByteArray& bytes);
// The legacy encoding of bytes that are not UTF-8, as iconv names it: the single-byte or
// double-byte code page that reads them most plausibly (letters of one script in words of it,
// common Hanzi), or Korean or Japanese when ICU's detector is sure.
QByteArray LegacyEncoding(const QByteArray& bytes);
LegacyGuess GuessLegacyEncoding(const QByteArray& bytes);
