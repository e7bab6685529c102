#include "exchange/VCardLine.h"

#include "core/TextUtil.h"
#include "exchange/VCard.h"

namespace {

// The colon that ends a line's name and parameters (not one inside a quoted parameter), or -1.
qsizetype ValueColon(QByteArrayView line)
{
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (line[i] == ':' && !quoted) {
            return i;
        }
    }
    return -1;
}

// Splits "item1.TEL;TYPE=CELL:5" into its parts.
void Split(const QByteArray& logical, VCardLine& line)
{
    const qsizetype colon = ValueColon(logical);
    const QByteArray head = colon < 0 ? QByteArray() : logical.left(colon);
    line.value = colon < 0 ? logical : logical.mid(colon + 1);
    QByteArrayList parts;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= head.size(); ++i) {
        if (i < head.size() && head[i] == '"') {
            quoted = !quoted;
        } else if (i == head.size() || (head[i] == ';' && !quoted)) {
            parts.append(head.mid(start, i - start));
            start = i + 1;
        }
    }
    QByteArray name = parts.isEmpty() ? QByteArray() : parts.takeFirst().trimmed();
    const qsizetype dot = name.lastIndexOf('.');
    line.group = dot < 0 ? QByteArray() : name.left(dot);
    line.name = name.mid(dot + 1).toUpper();
    line.params = parts;
}

QByteArray Fold(const QByteArray& utf8)
{
    QByteArray out;
    qsizetype start = 0;
    qsizetype limit = 75;
    while (utf8.size() - start > limit) {
        qsizetype cut = start + limit;
        while (cut > start && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        out.append(utf8.mid(start, cut - start)).append("\r\n ");
        start = cut;
        limit = 74;
    }
    return out.append(utf8.mid(start)).append("\r\n");
}

} // namespace

bool VCardLine::HasParam(QByteArrayView word) const
{
    for (const QByteArray& p : params) {
        const qsizetype equals = p.indexOf('=');
        const QByteArray values = equals < 0 ? p : p.mid(equals + 1);
        for (const QByteArray& v : values.split(',')) {
            QByteArray bare = v.trimmed();
            if (bare.startsWith('"') && bare.endsWith('"') && bare.size() >= 2) {
                bare = bare.mid(1, bare.size() - 2);
            }
            if (bare.compare(word, Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
    }
    return false;
}

bool VCardLine::IsQuotedPrintable() const
{
    return HasParam("QUOTED-PRINTABLE");
}

QString VCardLine::Text() const
{
    const QByteArray bytes = IsQuotedPrintable() ? DecodeQuotedPrintable(value) : value;
    return TrimBlank(UnescapeVCardText(QString::fromUtf8(bytes)));
}

void VCardLine::Set(const QByteArrayList& newParams, const QString& newValue)
{
    params = newParams;
    value = newValue.toUtf8();
    raw = WriteVCardLine(group, name, params, newValue);
}

QList<VCardLine> ParseVCardLines(const QByteArray& bytes)
{
    QList<VCardLine> lines;
    QList<QByteArray> logical;
    QList<QByteArray> raw;
    qsizetype start = 0;
    while (start < bytes.size()) {
        // A line ends at CR LF, LF or a lone CR.
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') {
            ++end;
        }
        const QByteArray content = bytes.mid(start, end - start);
        qsizetype next = end;
        if (next < bytes.size() && bytes[next] == '\r') {
            ++next;
        }
        if (next < bytes.size() && bytes[next] == '\n') {
            ++next;
        }
        const bool continuation = content.startsWith(' ') || content.startsWith('\t');
        bool softBreak = false;
        if (!logical.isEmpty() && logical.last().endsWith('=')) {
            VCardLine last;
            Split(logical.last(), last);
            softBreak = last.IsQuotedPrintable();
        }
        if (!logical.isEmpty() && (continuation || softBreak)) {
            raw.last() += content + "\r\n";
            if (softBreak && !continuation) {
                logical.last().chop(1);
                logical.last() += content;
            } else {
                logical.last() += content.mid(1);
            }
        } else if (!content.isEmpty() || next > end) {
            logical.append(content);
            raw.append(content + "\r\n");
        }
        start = next;
    }
    for (qsizetype i = 0; i < logical.size(); ++i) {
        if (logical[i].trimmed().isEmpty()) {
            continue; // blank lines carry nothing
        }
        VCardLine line;
        Split(logical[i], line);
        line.raw = raw[i];
        lines.append(line);
    }
    return lines;
}

QByteArray WriteVCardLine(const QByteArray& group, const QByteArray& name, const QByteArrayList& params,
                          const QString& value)
{
    QByteArray head = group.isEmpty() ? name : group + '.' + name;
    for (const QByteArray& p : params) {
        head += ';' + p;
    }
    return Fold(head + ':' + value.toUtf8());
}

VCardLine MakeVCardLine(const QString& text)
{
    VCardLine line;
    Split(text.toUtf8(), line);
    line.raw = WriteVCardLine(line.group, line.name, line.params, QString::fromUtf8(line.value));
    return line;
}

QString EscapeVCardText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\' || c == u',' || c == u';') {
            out += u'\\';
            out += c;
        } else if (c == u'\n') {
            out += QLatin1String("\\n");
        } else if (c != u'\r') {
            out += c;
        }
    }
    return out;
}

QString UnescapeVCardText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const QChar next = text[++i];
            out += next == u'n' || next == u'N' ? QChar(u'\n') : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

QStringList SplitVCardParts(const QString& value)
{
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= value.size(); ++i) {
        if (i < value.size() && value[i] == u'\\') {
            ++i;
        } else if (i == value.size() || value[i] == u';') {
            parts.append(UnescapeVCardText(value.mid(start, i - start)));
            start = i + 1;
        }
    }
    return parts;
}
