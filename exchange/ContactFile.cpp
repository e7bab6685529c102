#include "exchange/ContactFile.h"

#include <QIODevice>

#include <algorithm>

#include "core/platform/SystemMemory.h"
#include "exchange/Csv.h"
#include "exchange/Encoding.h"
#include "exchange/VCard.h"

namespace {

// A vCard file starts with BEGIN:VCARD, perhaps after a byte-order mark and blank lines.
bool IsVCard(const QByteArray& start)
{
    const QByteArray head = start.left(4096).toUpper();
    const qsizetype begin = head.indexOf("BEGIN:VCARD");
    return begin >= 0 && head.left(begin).trimmed().replace("\xEF\xBB\xBF", "").isEmpty();
}

ContactFile TooLarge()
{
    ContactFile file;
    file.error = QStringLiteral("too large");
    return file;
}

} // namespace

ContactFile ReadContactFile(const QByteArray& original)
{
    const QByteArray bytes = NarrowText(original);
    return IsVCard(bytes) ? ReadVCards(bytes) : ReadCsv(bytes);
}

ContactFile ReadContactFile(QIODevice& device, const ReadProgress& progress, qint64 pieceBytes)
{
    const QByteArray head = device.peek(4096);
    const qint64 size = device.isSequential() ? -1 : device.size() - device.pos();
    if (!IsWideText(head, size) && IsVCard(head)) {
        return ReadVCards(device, progress, pieceBytes);
    }
    if (size > MaxWholeContactFileBytes) {
        return TooLarge();
    }
    const QByteArray bytes = device.read(MaxWholeContactFileBytes + 1);
    if (bytes.size() > MaxWholeContactFileBytes) {
        return TooLarge();
    }
    return ReadContactFile(bytes);
}

qint64 MaxContactFileBytes()
{
    return std::max(PhysicalMemoryBytes() / 8, MaxWholeContactFileBytes);
}
