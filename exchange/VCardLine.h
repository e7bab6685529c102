#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "exchange/FilePieces.h"

// The vCard line model every reader and writer of cards shares: unfolding, the parts of a line,
// quoted-printable, escapes and folding exist here once. The file reader works on views of the
// lines as they pass; sync keeps whole cards as VCardLine lists and rewrites only what changes.

// ASCII words compared without case: property and parameter names, and the values readers act on,
// are ASCII. upper is in upper case.
// Inline: the readers compare every line's name and parameters this way.
inline bool SameVCardWord(QByteArrayView text, QByteArrayView upper)
{
    if (text.size() != upper.size()) {
        return false;
    }
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if ((c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) != upper[i]) {
            return false;
        }
    }
    return true;
}
bool ContainsVCardWord(QByteArrayView text, QByteArrayView upper);
// Whether a logical line's name and parameters say its value is quoted-printable.
bool IsQuotedPrintableLine(QByteArrayView line);

// Joins the physical lines of a card or file into logical ones as pieces of it arrive: folded lines
// joined, quoted-printable soft breaks joined. CR LF, LF, a lone CR and the CR CR LF some phones
// write all end a line. A line is complete once the next one is known not to continue it. Lines
// are handed on as views, valid during the call: most are the piece's own bytes, uncopied. A piece
// normally ends at a line end; one that does not (a line longer than MaxValueBytes) leaves its
// last line to the next. A line longer than MaxValueBytes is not handed on but counted in
// TooLong(), and never held whole.
class VCardLineJoiner
{
public:
    // Keeps each line's physical lines as received, each with a CR LF end, in raw: read in the
    // sink, it is the raw text of the line handed on. Lines too long to keep have none.
    void KeepRaw(QByteArray& raw) { m_raw = &raw; }

    template <typename Sink> void Feed(QByteArrayView piece, Sink&& sink)
    {
        if (!m_partial.isEmpty() || m_skipping) {
            // The end of a physical line begun in the piece before.
            const qsizetype end = LineEnd(piece);
            const QByteArrayView rest = piece.first(end < 0 ? piece.size() : end);
            if (!m_skipping && m_partial.size() + rest.size() > MaxValueBytes) {
                StartSkipping(m_partial, sink);
                m_partial = QByteArray();
            }
            if (!m_skipping) {
                m_partial.append(rest);
            }
            if (end < 0) {
                return;
            }
            if (m_skipping) {
                StopSkipping();
            } else {
                Add(QByteArrayView(m_partial), sink);
                Own();
                m_partial.resize(0);
            }
            // Past the line end: CR LF, CR CR LF, a lone CR or LF.
            qsizetype next = end + 1;
            if (piece[end] == '\r') {
                if (next + 1 < piece.size() && piece[next] == '\r' && piece[next + 1] == '\n') {
                    next += 2;
                } else if (next < piece.size() && piece[next] == '\n') {
                    ++next;
                }
            }
            piece = piece.sliced(next);
        }
        const char* const data = piece.data();
        const char* const end = data + piece.size();
        const char* start = data;
        while (start < end) {
            auto* lf = static_cast<const char*>(std::memchr(start, '\n', static_cast<size_t>(end - start)));
            if (lf == nullptr && std::memchr(start, '\r', static_cast<size_t>(end - start)) == nullptr &&
                start != data) {
                // The piece ends inside a line: the rest of it comes with the next.
                m_partial.append(QByteArrayView(start, end));
                break;
            }
            if (lf == nullptr && start == data && piece.size() > MaxValueBytes &&
                std::memchr(start, '\r', static_cast<size_t>(end - start)) == nullptr) {
                StartSkipping(piece, sink); // a piece that is all one unfinished line, too long to keep
                break;
            }
            const char* stop = lf != nullptr ? lf : end;
            auto* cr = static_cast<const char*>(std::memchr(start, '\r', static_cast<size_t>(stop - start)));
            if (cr == nullptr) {
                Add(QByteArrayView(start, stop), sink);
                start = stop + 1;
            } else if (cr + 1 == stop || (cr + 2 == stop && cr[1] == '\r')) {
                Add(QByteArrayView(start, cr), sink); // CR LF or CR CR LF: one line end
                start = stop + 1;
            } else {
                Add(QByteArrayView(start, cr), sink); // a CR by itself ends a line too
                start = cr + 1;
            }
        }
        Own(); // the next piece may continue the last line
    }
    // At the end of the file: the last line is complete too.
    template <typename Sink> void Finish(Sink&& sink)
    {
        if (m_skipping) {
            StopSkipping();
        } else if (!m_partial.isEmpty()) {
            Add(QByteArrayView(m_partial), sink);
            Own();
            m_partial = QByteArray();
        }
        Break(sink);
    }
    int TooLong() const { return m_tooLong; }

private:
    QByteArrayView Line() const { return m_owned ? QByteArrayView(m_line) : m_view; }

    // Where the first line of bytes ends (at its CR or LF), -1 when it does not.
    static qsizetype LineEnd(QByteArrayView bytes)
    {
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n' || bytes[i] == '\r') {
                return i;
            }
        }
        return -1;
    }

    // A physical line too long to keep begins with head: it continues the pending line, which is
    // then too long itself, or it is a line of its own, counted once it ends.
    template <typename Sink> void StartSkipping(QByteArrayView head, Sink& sink)
    {
        if (m_pending && (head.startsWith(' ') || head.startsWith('\t'))) {
            Own();
            m_lineTooLong = true;
            m_line = QByteArray();
            m_skipCounts = false;
        } else {
            Break(sink);
            m_skipCounts = true;
        }
        m_skipping = true;
    }

    void StopSkipping()
    {
        m_tooLong += m_skipCounts ? 1 : 0;
        m_skipping = false;
        m_skipCounts = false;
    }

    // The pending line is complete: handed on, or counted when it grew too long.
    template <typename Sink> void Break(Sink& sink)
    {
        if (m_pending) {
            if (m_lineTooLong) {
                ++m_tooLong;
            } else {
                sink(Line());
            }
        }
        m_pending = false;
        m_lineTooLong = false;
    }

    // The line's bytes copied, to be extended or kept past the piece.
    void Own()
    {
        if (m_pending && !m_owned) {
            m_line.resize(0);
            m_line.append(m_view);
            m_owned = true;
        }
    }

    // Extends the pending line, unless that makes it too long to keep.
    void Extend(QByteArrayView more)
    {
        if (m_lineTooLong || m_line.size() + more.size() > MaxValueBytes) {
            m_lineTooLong = true;
            m_line = QByteArray();
            return;
        }
        m_line.append(more);
    }

    template <typename Sink> void Add(QByteArrayView physical, Sink& sink)
    {
        if (m_pending && (physical.startsWith(' ') || physical.startsWith('\t'))) {
            Own();
            Extend(physical.sliced(1));
            AddRaw(physical);
        } else if (m_pending && !m_lineTooLong && Line().endsWith('=') && IsQuotedPrintableLine(Line())) {
            Own();
            m_line.chop(1);
            Extend(physical);
            AddRaw(physical);
        } else {
            Break(sink);
            if (m_raw != nullptr) {
                m_raw->resize(0);
            }
            AddRaw(physical);
            m_view = physical;
            m_owned = false;
            m_pending = true;
            m_lineTooLong = physical.size() > MaxValueBytes;
        }
    }

    void AddRaw(QByteArrayView physical)
    {
        if (m_raw != nullptr) {
            m_raw->append(physical).append("\r\n");
        }
    }

    QByteArray* m_raw = nullptr;
    QByteArray m_line;     // the last line, when it had to be copied
    QByteArrayView m_view; // the last line, when it is the piece's own
    QByteArray m_partial;  // the start of a physical line the piece before ended in
    bool m_owned = false;
    bool m_pending = false;
    bool m_lineTooLong = false; // the pending line is past MaxValueBytes: only counted
    bool m_skipping = false;    // inside a physical line past MaxValueBytes
    bool m_skipCounts = false;  // ... which is a line of its own, not part of the pending one
    int m_tooLong = 0;
};

// The parts of a content line, [group.]NAME;PARAM=VALUE;...:value, as views into it.
struct VCardHead
{
    QByteArrayView group;  // "item1", or empty
    QByteArrayView name;   // without the group, case as written
    QByteArrayView params; // from the first ';' of the head on, empty when none
    QByteArrayView value;
};
// The value starts after the first colon that is not inside a quoted parameter value; a line
// without one (or with nothing before it) has no head.
std::optional<VCardHead> ParseVCardHead(QByteArrayView line);
// Where the parameter that params starts with (at its ';') ends: the next ';' outside quotes, or
// the end.
qsizetype VCardParamEnd(QByteArrayView params);

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

// The lines of a vCard, as VCardLineJoiner joins them; blank lines carry nothing and are left out.
QList<VCardLine> ParseVCardLines(const QByteArray& bytes);
// A line as sent: group, name, parameters and value, folded at 75 octets without splitting a
// UTF-8 character, with a CRLF end.
QByteArray WriteVCardLine(const QByteArray& group, const QByteArray& name, const QByteArrayList& params,
                          const QString& value);
// A line from its text ("TEL;TYPE=CELL:5"), written as WriteVCardLine does.
VCardLine MakeVCardLine(const QString& text);

// Decodes quoted-printable text ("=E4=BD=A0" and soft line breaks already joined); an "=" not
// followed by two hex digits stays as it is.
QByteArray DecodeQuotedPrintable(QByteArrayView text);

// Text as a vCard value: backslash, comma, semicolon and line breaks escaped.
QString EscapeVCardText(const QString& text);
// The same on UTF-8, written at `at`, which has room for twice the text; returns the end. UTF-8's
// longer characters hold no ASCII bytes, so they pass unchanged.
char* PutEscapedVCardText(char* at, QByteArrayView utf8);
// A vCard value's escapes undone ("\n" a line break).
QString UnescapeVCardText(const QString& text);
// The parts of a structured value (N, ADR; CATEGORIES at commas) split at unescaped separators,
// each unescaped.
QStringList SplitVCardParts(const QString& value, QChar separator = u';');
// Writes an unfolded line of length bytes from line to at, folded at 75 octets without splitting a
// UTF-8 character, with a CRLF end; returns the end. at may be line itself when the line is no
// longer than 75 octets; otherwise the two must not overlap.
char* PutFoldedVCardLine(char* at, const char* line, qsizetype length);
