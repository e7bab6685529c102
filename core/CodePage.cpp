#include "core/CodePage.h"

#include <QHash>

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <list>
#include <string>

#include "core/TextUtil.h"
#include "core/platform/SystemLocale.h"

namespace {

bool IsUtf8Name(const QByteArray& name)
{
    const QByteArray n = name.toUpper();
    return n == "UTF-8" || n == "UTF8";
}

// iconv descriptors are costly to open and list loads convert every field, so each thread keeps
// the few it used last, one per direction and code page. What falls out is closed, and so is the
// rest when the thread ends.
class ConverterCache
{
public:
    ConverterCache() = default;
    ConverterCache(const ConverterCache&) = delete;
    ConverterCache& operator=(const ConverterCache&) = delete;
    ~ConverterCache()
    {
        for (const Entry& e : m_entries) {
            Close(e.cd);
        }
    }

    iconv_t Get(const QByteArray& to, const QByteArray& from)
    {
        const std::string key = to.toStdString() + '<' + from.toStdString();
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (it->key == key) {
                m_entries.splice(m_entries.begin(), m_entries, it); // most recent first
                return it->cd;
            }
        }
        if (m_entries.size() >= Capacity) {
            Close(m_entries.back().cd);
            m_entries.pop_back();
        }
        m_entries.push_front({key, iconv_open(to.constData(), from.constData())});
        return m_entries.front().cd;
    }

    int Open() const
    {
        return static_cast<int>(
            std::count_if(m_entries.begin(), m_entries.end(), [](const Entry& e) { return e.cd != Failed(); }));
    }

private:
    static constexpr std::size_t Capacity = 8;
    struct Entry
    {
        std::string key;
        iconv_t cd;
    };
    static iconv_t Failed() { return reinterpret_cast<iconv_t>(-1); }
    static void Close(iconv_t cd)
    {
        if (cd != Failed()) {
            iconv_close(cd);
        }
    }
    std::list<Entry> m_entries;
};

ConverterCache& Converters()
{
    thread_local ConverterCache cache;
    return cache;
}

iconv_t Converter(const QByteArray& to, const QByteArray& from)
{
    const iconv_t cd = Converters().Get(to, from);
    if (cd != reinterpret_cast<iconv_t>(-1)) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial shift state
    }
    return cd;
}

int Utf8SequenceLength(unsigned char lead)
{
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        return 2;
    }
    if ((lead & 0xF0) == 0xE0) {
        return 3;
    }
    if ((lead & 0xF8) == 0xF0) {
        return 4;
    }
    return 1;
}

// The size of bytes without an incomplete UTF-8 sequence at the very end (a value cut in the
// middle of a character), so the cut shows as nothing rather than as replacement characters.
qsizetype WithoutIncompleteUtf8Tail(QByteArrayView bytes)
{
    qsizetype start = bytes.size();
    while (start > 0 && bytes.size() - start < 3 && (static_cast<unsigned char>(bytes[start - 1]) & 0xC0) == 0x80) {
        --start;
    }
    if (start == 0) {
        return bytes.size();
    }
    const int need = Utf8SequenceLength(static_cast<unsigned char>(bytes[start - 1]));
    return need > 1 && bytes.size() - (start - 1) < need ? start - 1 : bytes.size();
}

enum class Direction { ToCodePage, FromCodePage };

// Runs iconv over the whole input, putting '?' where a character cannot be converted and
// skipping the offending input (one UTF-8 sequence, or one byte of a legacy code page).
QByteArray Convert(iconv_t cd, QByteArrayView input, Direction direction, qsizetype* invalid = nullptr)
{
    QByteArray out;
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return out;
    }
    out.resize(input.size() * 4 + 16);
    char* in = const_cast<char*>(input.data());
    size_t inLeft = static_cast<size_t>(input.size());
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    auto ensureRoom = [&](size_t need) {
        if (outLeft < need) {
            const qsizetype used = outPtr - out.data();
            out.resize(out.size() * 2 + static_cast<qsizetype>(need));
            outPtr = out.data() + used;
            outLeft = static_cast<size_t>(out.size() - used);
        }
    };
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            ensureRoom(64);
            continue;
        }
        if (errno == EINVAL) { // incomplete sequence at the end: a cut value, drop it
            break;
        }
        // EILSEQ: one unconvertible character.
        if (invalid != nullptr) {
            ++*invalid;
        }
        ensureRoom(4);
        *outPtr++ = '?';
        --outLeft;
        const size_t skip = direction == Direction::ToCodePage
                                ? static_cast<size_t>(Utf8SequenceLength(static_cast<unsigned char>(*in)))
                                : 1;
        const size_t step = skip < inLeft ? skip : inLeft;
        in += step;
        inLeft -= step;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    ensureRoom(16);
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft); // flush a stateful encoding
    out.resize(outPtr - out.data());
    return out;
}

} // namespace

CodePage::CodePage(QByteArray name) : m_name(std::move(name)), m_utf8(IsUtf8Name(m_name)) {}

CodePage CodePage::Utf8()
{
    return CodePage("UTF-8");
}

const CodePage& CodePage::System()
{
    static const CodePage system(SystemCodePageName());
    return system;
}

QByteArray CodePage::FromUnicode(QStringView text) const
{
    if (m_utf8) {
        return text.toUtf8();
    }
    const QByteArray utf8 = text.toUtf8();
    return Convert(Converter(m_name, "UTF-8"), utf8, Direction::ToCodePage);
}

QString CodePage::ToUnicode(QByteArrayView bytes, qsizetype* invalid) const
{
    if (m_utf8) {
        const QByteArrayView whole = bytes.first(WithoutIncompleteUtf8Tail(bytes));
        if (invalid != nullptr && !whole.isValidUtf8()) {
            *invalid += QString::fromUtf8(whole).count(QChar::ReplacementCharacter) -
                        QByteArrayView(whole).count("\xEF\xBF\xBD");
        }
        return Utf8Text(whole);
    }
    return Utf8Text(Convert(Converter("UTF-8", m_name), bytes, Direction::FromCodePage, invalid));
}

bool CodePage::CanEncode(QStringView text) const
{
    if (m_utf8) {
        // Only unpaired surrogates fail to survive UTF-8.
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                ++i;
            } else if (text[i].isSurrogate()) {
                return false;
            }
        }
        return true;
    }
    return ToUnicode(FromUnicode(text)) == text;
}

int CodePage::OpenConverters()
{
    return Converters().Open();
}

std::optional<QByteArray> CodePage::Known(QByteArrayView charset)
{
    // Compared without case, dashes, underscores, dots and blanks: "UTF8", "utf-8" and "Utf_8" alike.
    static const QHash<QByteArray, QByteArray> known = [] {
        QHash<QByteArray, QByteArray> k;
        auto add = [&k](const char* name, std::initializer_list<const char*> aliases) {
            k.insert(name, name);
            for (const char* alias : aliases) {
                k.insert(alias, name);
            }
        };
        add("UTF-8", {"UTF8"});
        add("UTF-16", {"UTF16", "UCS2"});
        add("UTF-16LE", {"UTF16LE"});
        add("UTF-16BE", {"UTF16BE"});
        add("US-ASCII", {"USASCII", "ASCII"});
        for (int i = 1; i <= 16; ++i) {
            if (i != 12) {
                const QByteArray name = "ISO-8859-" + QByteArray::number(i);
                k.insert(name, name);
                k.insert("ISO8859" + QByteArray::number(i), name);
            }
        }
        k.insert("LATIN1", "ISO-8859-1");
        k.insert("LATIN2", "ISO-8859-2");
        for (int i = 1250; i <= 1258; ++i) {
            const QByteArray name = "CP" + QByteArray::number(i);
            k.insert(name, name);
            k.insert("WINDOWS" + QByteArray::number(i), name);
        }
        add("GB2312", {"EUCCN", "CSGB2312"});
        add("GBK", {"CP936", "WINDOWS936", "MS936"});
        add("GB18030", {});
        add("BIG5", {"CSBIG5", "BIG5ETEN"});
        add("CP950", {"WINDOWS950", "MS950"});
        add("BIG5-HKSCS", {"BIG5HKSCS"});
        add("SHIFT_JIS", {"SHIFTJIS", "SJIS", "MSKANJI"});
        add("CP932", {"WINDOWS31J", "WINDOWS932", "MS932"});
        add("EUC-JP", {"EUCJP"});
        add("ISO-2022-JP", {"ISO2022JP"});
        add("EUC-KR", {"EUCKR"});
        add("CP949", {"WINDOWS949", "UHC"});
        add("KOI8-R", {"KOI8R"});
        add("KOI8-U", {"KOI8U"});
        add("CP866", {"IBM866"});
        add("CP874", {"WINDOWS874", "TIS620"});
        add("CP437", {"IBM437"});
        add("CP850", {"IBM850"});
        add("MACINTOSH", {"MAC", "MACROMAN"});
        return k;
    }();
    QByteArray key;
    key.reserve(charset.size());
    for (const char c : charset) {
        if (c != '-' && c != '_' && c != '.' && c != ' ') {
            key.append(static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
        }
        if (key.size() > 16) {
            return std::nullopt;
        }
    }
    const auto it = known.constFind(key);
    if (it == known.constEnd()) {
        return std::nullopt;
    }
    return it.value();
}
