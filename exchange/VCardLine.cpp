#include "exchange/VCardLine.h"

#include <array>
#include <cstring>

#include "core/TextUtil.h"

namespace {

char* Put(char* at, QByteArrayView bytes)
{
    if (!bytes.isEmpty()) {
        std::memmove(at, bytes.data(), static_cast<std::size_t>(bytes.size()));
    }
    return at + bytes.size();
}

// Splits a logical line into the model's parts; a line without a head is all value.
void Split(QByteArrayView logical, VCardLine& line)
{
    const std::optional<VCardHead> head = ParseVCardHead(logical);
    if (!head) {
        line.value = logical.toByteArray();
        return;
    }
    line.group = head->group.toByteArray();
    line.name = head->name.toByteArray().toUpper();
    line.value = head->value.toByteArray();
    // ;KEY=VALUE or a bare ;VALUE, split at semicolons outside quotes.
    QByteArrayView rest = head->params;
    while (!rest.isEmpty()) {
        const qsizetype end = VCardParamEnd(rest);
        line.params.append(rest.sliced(1, end - 1).toByteArray());
        rest = rest.sliced(end);
    }
}

} // namespace

qsizetype VCardParamEnd(QByteArrayView params)
{
    bool quoted = false;
    qsizetype end = 1;
    for (; end < params.size(); ++end) {
        if (params[end] == '"') {
            quoted = !quoted;
        } else if (params[end] == ';' && !quoted) {
            break;
        }
    }
    return end;
}

bool ContainsVCardWord(QByteArrayView text, QByteArrayView upper)
{
    for (qsizetype i = 0; i + upper.size() <= text.size(); ++i) {
        if (SameVCardWord(text.sliced(i, upper.size()), upper)) {
            return true;
        }
    }
    return false;
}

bool IsQuotedPrintableLine(QByteArrayView line)
{
    const qsizetype colon = line.indexOf(':');
    return colon > 0 && ContainsVCardWord(line.first(colon), "QUOTED-PRINTABLE");
}

std::optional<VCardHead> ParseVCardHead(QByteArrayView line)
{
    bool quoted = false;
    qsizetype colon = -1;
    qsizetype semicolon = -1;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ':' && !quoted) {
            colon = i;
            break;
        } else if (c == ';' && !quoted && semicolon < 0) {
            semicolon = i;
        }
    }
    if (colon <= 0) {
        return std::nullopt;
    }
    const qsizetype nameEnd = semicolon >= 0 ? semicolon : colon;
    QByteArrayView name = line.first(nameEnd).trimmed();
    QByteArrayView group;
    const qsizetype dot = name.lastIndexOf('.');
    if (dot >= 0) {
        group = name.first(dot);
        name = name.sliced(dot + 1);
    }
    return VCardHead{group, name, line.sliced(nameEnd, colon - nameEnd), line.sliced(colon + 1)};
}

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
    QByteArray raw;
    VCardLineJoiner joiner;
    joiner.KeepRaw(raw);
    const auto add = [&](QByteArrayView logical) {
        if (logical.trimmed().isEmpty()) {
            return; // blank lines carry nothing
        }
        VCardLine line;
        Split(logical, line);
        line.raw = raw;
        lines.append(line);
    };
    joiner.Feed(bytes, add);
    joiner.Finish(add);
    return lines;
}

QByteArray WriteVCardLine(const QByteArray& group, const QByteArray& name, const QByteArrayList& params,
                          const QString& value)
{
    QByteArray head = group.isEmpty() ? name : group + '.' + name;
    for (const QByteArray& p : params) {
        head += ';' + p;
    }
    const QByteArray line = head + ':' + value.toUtf8();
    // Folding adds three octets for every 74 at most.
    QByteArray out(line.size() + line.size() / 24 + 8, Qt::Uninitialized);
    out.resize(PutFoldedVCardLine(out.data(), line.constData(), line.size()) - out.data());
    return out;
}

VCardLine MakeVCardLine(const QString& text)
{
    VCardLine line;
    Split(text.toUtf8(), line);
    line.raw = WriteVCardLine(line.group, line.name, line.params, QString::fromUtf8(line.value));
    return line;
}

QByteArray DecodeQuotedPrintable(QByteArrayView text)
{
    const auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : -1;
    };
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size()) {
            const int high = hex(text[i + 1]);
            const int low = hex(text[i + 2]);
            bool ok = high >= 0 && low >= 0;
            const int value = ok ? high * 16 + low : text.sliced(i + 1, 2).toByteArray().toInt(&ok, 16);
            if (ok) {
                out.append(static_cast<char>(value));
                i += 2;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

QString EscapeVCardText(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out(2 * utf8.size(), Qt::Uninitialized);
    out.resize(PutEscapedVCardText(out.data(), utf8) - out.data());
    return QString::fromUtf8(out);
}

char* PutEscapedVCardText(char* at, QByteArrayView text)
{
    // Most values hold nothing to escape: runs of plain bytes are copied whole.
    static constexpr auto special = [] {
        std::array<bool, 256> table{};
        for (const char c : {'\\', ',', ';', '\n', '\r'}) {
            table[static_cast<unsigned char>(c)] = true;
        }
        return table;
    }();
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const char* const run = p;
        while (p < end && !special[static_cast<unsigned char>(*p)]) {
            ++p;
        }
        at = Put(at, QByteArrayView(run, p - run));
        if (p == end) {
            break;
        }
        const char c = *p++;
        if (c != '\r') {
            *at++ = '\\';
            *at++ = c == '\n' ? 'n' : c;
        }
    }
    return at;
}

QString UnescapeVCardText(const QString& text)
{
    if (!text.contains(u'\\')) {
        return text;
    }
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const QChar next = text[++i];
            out.append(next == u'n' || next == u'N' ? QChar(u'\n') : next);
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

QStringList SplitVCardParts(const QString& value, QChar separator)
{
    if (!value.contains(u'\\')) {
        return value.split(separator); // nothing escaped, as in most files: the parts as they stand
    }
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            ++i; // an escaped separator stays in its part
        } else if (value[i] == separator) {
            parts.append(UnescapeVCardText(value.sliced(start, i - start)));
            start = i + 1;
        }
    }
    parts.append(UnescapeVCardText(value.sliced(start)));
    return parts;
}

char* PutFoldedVCardLine(char* at, const char* line, qsizetype length)
{
    if (length <= 75) {
        return Put(Put(at, QByteArrayView(line, length)), "\r\n");
    }
    qsizetype start = 0;
    qsizetype limit = 75;
    while (length - start > limit) {
        qsizetype cut = start + limit;
        while (cut > start && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        at = Put(Put(at, QByteArrayView(line + start, cut - start)), "\r\n ");
        start = cut;
        limit = 74; // the leading space of a continuation counts
    }
    return Put(Put(at, QByteArrayView(line + start, length - start)), "\r\n");
}
