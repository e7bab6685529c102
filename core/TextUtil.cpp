#include "core/TextUtil.h"

QString TrimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ') {
        ++begin;
    }
    while (end > begin && text[end - 1] == u' ') {
        --end;
    }
    return text.mid(begin, end - begin);
}

QString PlainCaption(const QString& caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != u'&') {
            plain += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == u'&') {
            plain += u'&'; // "&&" is an ampersand the user is meant to see
            ++i;
        } else if (i > 0 && caption[i - 1] == u'(' && i + 2 < caption.size() && caption[i + 2] == u')') {
            plain.chop(1); // "(&I)" after a Chinese caption goes whole
            i += 2;
        }
    }
    while (plain.endsWith(u'.') || plain.endsWith(u'\u2026')) {
        plain.chop(1);
    }
    return plain.trimmed();
}

QString Utf8Text(QByteArrayView bytes)
{
    // QString::fromUtf8 takes a leading U+FEFF for a byte-order mark and drops it; here each one
    // is a character of the text, however many there are.
    qsizetype marks = 0;
    while (bytes.sliced(marks * 3).startsWith("\xEF\xBB\xBF")) {
        ++marks;
    }
    if (marks > 0) {
        return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(bytes.sliced(marks * 3));
    }
    return QString::fromUtf8(bytes);
}

QString TrimBlank(const QString& text)
{
    auto blank = [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && blank(text[begin])) {
        ++begin;
    }
    while (end > begin && blank(text[end - 1])) {
        --end;
    }
    return begin == 0 && end == text.size() ? text : text.mid(begin, end - begin);
}
