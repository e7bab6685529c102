#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One logical line of a vCard: group, name, parameters and value as written (escapes and any
// quoted-printable encoding kept), with the bytes it came in, so a line nobody changes is written
// back as it was, and a changed one is written whole, folded, with a CRLF end.
struct VCardLine
{
    QByteArray group;      // "item1", or empty
    QByteArray name;       // upper case
    QByteArrayList params; // as written: "TYPE=CELL", "ENCODING=QUOTED-PRINTABLE"
    QByteArray value;      // as written, unfolded
    QByteArray raw;        // as received, folds included, with a CRLF end

    // Whether a parameter holds the word ("CELL" in "TYPE=cell,voice" or a bare "CELL"), any case.
    bool HasParam(QByteArrayView word) const;
    bool IsQuotedPrintable() const;
    // The value as text: quoted-printable undone, UTF-8 read, escapes undone, blanks trimmed.
    QString Text() const;
    // Sets the value (already escaped) and parameters, and writes the line anew.
    void Set(const QByteArrayList& newParams, const QString& newValue);
};

// The lines of a vCard; CRLF, LF and CR line ends alike, folded continuations and
// quoted-printable soft breaks joined to the line they continue.
QList<VCardLine> ParseVCardLines(const QByteArray& bytes);
// A line as sent: group, name, parameters and value, folded at 75 octets without splitting a
// UTF-8 character, with a CRLF end.
QByteArray WriteVCardLine(const QByteArray& group, const QByteArray& name, const QByteArrayList& params,
                          const QString& value);
// A line from its text ("TEL;TYPE=CELL:5"), written as WriteVCardLine does.
VCardLine MakeVCardLine(const QString& text);

// Text as a vCard value: backslash, comma, semicolon and line breaks escaped.
QString EscapeVCardText(const QString& text);
// A vCard value's escapes undone ("\n" a line break).
QString UnescapeVCardText(const QString& text);
// The parts of a structured value (N, ADR) split at unescaped semicolons, each unescaped.
QStringList SplitVCardParts(const QString& value);
