#include "app/CodePage.h"

#include "app/platform/SystemLocale.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <string>

namespace {

bool IsUtf8Name(const QByteArray& name)
{
    const QByteArray n = name.toUpper();
    return n == "UTF-8" || n == "UTF8";
}

// iconv descriptors are costly to open and list loads convert every field, so each thread
// keeps one per direction and code page.
iconv_t Converter(const QByteArray& to, const QByteArray& from)
{
    thread_local std::map<std::string, iconv_t> cache;
    const std::string key = to.toStdString() + '<' + from.toStdString();
    auto it = cache.find(key);
    if (it == cache.end()) {
        it = cache.emplace(key, iconv_open(to.constData(), from.constData())).first;
    }
    iconv(it->second, nullptr, nullptr, nullptr, nullptr); // back to the initial shift state
    return it->second;
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
QByteArray Convert(iconv_t cd, QByteArrayView input, Direction direction)
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

QString CodePage::ToUnicode(QByteArrayView bytes) const
{
    if (m_utf8) {
        return QString::fromUtf8(bytes.first(WithoutIncompleteUtf8Tail(bytes)));
    }
    return QString::fromUtf8(Convert(Converter("UTF-8", m_name), bytes, Direction::FromCodePage));
}

bool CodePage::CanEncode(QStringView text) const
{
    if (m_utf8) {
        // Only unpaired surrogates fail to survive UTF-8.
        return QString::fromUtf8(text.toUtf8()) == text;
    }
    return ToUnicode(FromUnicode(text)) == text;
}
