#include "main/SearchMatcher.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "store/Encryption.h"

SearchMatcher::SearchMatcher(const QString& wanted, bool matchCase, const CodePage& codePage)
    : m_matchCase(matchCase), m_wanted(wanted), m_codePage(codePage)
{
    if (matchCase) {
        m_finder = std::make_unique<CipherTextFinder>(wanted, codePage);
    } else {
        m_folded = Fold(wanted);
    }
}

SearchMatcher::~SearchMatcher() = default;

bool SearchMatcher::Matches(const QByteArrayView* cipherTexts, int count) const
{
    for (int i = 0; i < count; ++i) {
        if (m_matchCase) {
            if (m_finder->Matches(cipherTexts[i])) {
                return true;
            }
        } else if (!cipherTexts[i].isEmpty()) {
            DecryptInto(m_text, cipherTexts[i], m_codePage);
            if (!m_text.isEmpty() && FoldedContains(m_text)) {
                return true;
            }
        }
    }
    return false;
}

bool SearchMatcher::MatchesPlain(QByteArrayView utf8) const
{
    if (utf8.isEmpty()) {
        return false;
    }
    const QString text = QString::fromUtf8(utf8);
    return m_matchCase ? text.contains(m_wanted) : Fold(text).contains(m_folded);
}

bool SearchMatcher::FoldedContains(QString& text) const
{
    // Plain ASCII, most values, folds to its lower case: lowered where it lies, it is searched
    // without a copy. Letters lowered before a character that is not ASCII fold the same either
    // way.
    char16_t* at = reinterpret_cast<char16_t*>(text.data());
    const char16_t* const end = at + text.size();
    for (; at != end; ++at) {
        if (*at >= 0x80) {
            return Fold(text).contains(m_folded);
        }
        if (*at >= u'A' && *at <= u'Z') {
            *at = static_cast<char16_t>(*at + (u'a' - u'A'));
        }
    }
    return text.contains(m_folded);
}

QString SearchMatcher::Fold(const QString& text)
{
    // Plain ASCII, most values, needs no decomposition.
    bool ascii = true;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        return text.toLower();
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) {
        return text.toCaseFolded();
    }
    icu::UnicodeString decomposed =
        nfd->normalize(icu::UnicodeString(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size())), status);
    if (U_FAILURE(status)) {
        return text.toCaseFolded();
    }
    decomposed.foldCase();
    // Accents are the marks the decomposition split off; dropping them leaves the base letters.
    QString folded;
    folded.reserve(decomposed.length());
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) {
            folded.append(QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1));
        }
        i += U16_LENGTH(c);
    }
    return folded;
}
