#include "app/TextUtil.h"

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

QString Utf8Text(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QChar(0xFEFF) + QString::fromUtf8(bytes.sliced(3));
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
