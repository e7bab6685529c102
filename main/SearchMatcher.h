#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <vector>

#include "core/CodePage.h"

class CipherTextFinder;

// Whether a record's enciphered values contain the search text. With matchCase (the default) a
// value contains the text character for character, as the search always has; without it, case and
// accents are ignored in every script (ICU's case folding and decomposition), so "jose" finds
// "José" and "STRASSE" finds "straße". An empty text finds every value that is not empty. The
// record matches when any of the values it is given does. A matcher is used by one thread at a
// time: it keeps the text it deciphers last, to decipher the next into.
class SearchMatcher
{
public:
    SearchMatcher(const QString& wanted, bool matchCase, const CodePage& codePage = CodePage::System());
    ~SearchMatcher();
    SearchMatcher(const SearchMatcher&) = delete;
    SearchMatcher& operator=(const SearchMatcher&) = delete;

    bool Matches(const QByteArrayView* cipherTexts, int count) const;
    // The same for a value kept as typed (UTF-8), not enciphered.
    bool MatchesPlain(QByteArrayView utf8) const;

    // The form in which texts are compared when case does not matter.
    static QString Fold(const QString& text);

private:
    // Whether text, folded, contains the folded search text; text may be changed on the way.
    bool FoldedContains(QString& text) const;

    bool m_matchCase;
    QString m_wanted;
    QString m_folded;
    CodePage m_codePage;
    std::unique_ptr<CipherTextFinder> m_finder;
    mutable QString m_text;
};
