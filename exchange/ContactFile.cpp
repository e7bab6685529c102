#include "exchange/ContactFile.h"

#include "exchange/Csv.h"
#include "exchange/Encoding.h"
#include "exchange/VCard.h"

ContactFile ReadContactFile(const QByteArray& original)
{
    const QByteArray bytes = NarrowText(original);
    // A vCard file starts with BEGIN:VCARD, perhaps after a byte-order mark and blank lines.
    const QByteArray head = bytes.left(4096).toUpper();
    const qsizetype begin = head.indexOf("BEGIN:VCARD");
    if (begin >= 0 && head.left(begin).trimmed().replace("\xEF\xBB\xBF", "").isEmpty()) {
        return ReadVCards(bytes);
    }
    return ReadCsv(bytes);
}
