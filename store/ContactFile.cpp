#include "store/ContactFile.h"

#include "app/CodePage.h"

#include <unicode/ucsdet.h>

namespace {

// Short Chinese texts (a few names) are too little for ICU's statistics. Their high bytes come
// in pairs, though, and Big5 alone uses second bytes in the ASCII letter range, which tells the
// two Chinese encodings apart.
QByteArray GuessDoubleByte(const QByteArray& bytes)
{
    int highBytes = 0;
    int paired = 0;
    bool lowTrail = false;
    for (qsizetype i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        qsizetype run = i;
        while (run < bytes.size() && static_cast<unsigned char>(bytes[run]) >= 0x80) {
            ++run;
        }
        // A run of high bytes followed by a trail in 0x40..0x7E is a Big5 character.
        if (run < bytes.size() && (run - i) % 2 == 1) {
            const auto trail = static_cast<unsigned char>(bytes[run]);
            if (trail >= 0x40 && trail <= 0x7E) {
                lowTrail = true;
                highBytes += static_cast<int>(run - i);
                paired += static_cast<int>(run - i);
                i = run + 1;
                continue;
            }
        }
        highBytes += static_cast<int>(run - i);
        if ((run - i) % 2 == 0) {
            paired += static_cast<int>(run - i);
        }
        i = run;
    }
    if (highBytes < 2 || paired * 10 < highBytes * 8) {
        return {};
    }
    return lowTrail ? QByteArray("BIG5") : QByteArray("GB18030");
}

// The encoding of a text without a declaration, as iconv names it.
QByteArray DetectEncoding(const QByteArray& bytes)
{
    UErrorCode status = U_ZERO_ERROR;
    UCharsetDetector* detector = ucsdet_open(&status);
    QByteArray name;
    int confidence = 0;
    if (U_SUCCESS(status)) {
        // The detector looks at a sample; a few hundred kilobytes decide as well as megabytes.
        const int32_t length = static_cast<int32_t>(std::min<qsizetype>(bytes.size(), 512 * 1024));
        ucsdet_setText(detector, bytes.constData(), length, &status);
        const UCharsetMatch* match = ucsdet_detect(detector, &status);
        if (match != nullptr && U_SUCCESS(status)) {
            name = ucsdet_getName(match, &status);
            confidence = ucsdet_getConfidence(match, &status);
        }
        ucsdet_close(detector);
    }
    const bool multiByte =
        name == "GB18030" || name == "Big5" || name == "EUC-KR" || name == "Shift_JIS" || name == "EUC-JP";
    if (multiByte && confidence >= 50) {
        return name;
    }
    const QByteArray chinese = GuessDoubleByte(bytes);
    if (!chinese.isEmpty()) {
        return chinese;
    }
    if (confidence >= 50 && !name.isEmpty() && name != "UTF-8") {
        return name;
    }
    // Western text without a declaration is in practice Windows-1252, which also has the quotes
    // and the euro sign that ISO-8859-1 lacks.
    return "CP1252";
}

} // namespace

QString DecodeText(const QByteArray& bytes, QByteArray* encoding)
{
    auto decoded = [&](const char* name, QString text) {
        if (encoding != nullptr) {
            *encoding = name;
        }
        return text;
    };
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return decoded("UTF-8", QString::fromUtf8(bytes.mid(3)));
    }
    if (bytes.startsWith("\xFF\xFE")) {
        return decoded("UTF-16LE", CodePage("UTF-16LE").ToUnicode(QByteArrayView(bytes).sliced(2)));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        return decoded("UTF-16BE", CodePage("UTF-16BE").ToUnicode(QByteArrayView(bytes).sliced(2)));
    }
    if (bytes.isValidUtf8()) {
        return decoded("UTF-8", QString::fromUtf8(bytes));
    }
    const QByteArray name = DetectEncoding(bytes);
    if (encoding != nullptr) {
        *encoding = name;
    }
    return CodePage(name).ToUnicode(bytes);
}

ContactFile ReadContactFile(const QByteArray& original)
{
    // UTF-16 files are read as the UTF-8 they hold, so both readers see bytes of ASCII names.
    QByteArray bytes = original;
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        bytes = "\xEF\xBB\xBF" + DecodeText(original).toUtf8();
    }
    // A vCard file starts with BEGIN:VCARD, perhaps after a byte-order mark and blank lines.
    const QByteArray head = bytes.left(4096).toUpper();
    const qsizetype begin = head.indexOf("BEGIN:VCARD");
    if (begin >= 0 && head.left(begin).trimmed().replace("\xEF\xBB\xBF", "").isEmpty()) {
        return ReadVCards(bytes);
    }
    return ReadCsv(bytes);
}
