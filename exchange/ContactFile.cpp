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

ContactFile ReadContactFile(QIODevice& device, const ReadProgress& progress, qint64 pieceBytes, qint64 maxWholeBytes)
{
    const QByteArray head = device.peek(4096);
    const qint64 size = device.isSequential() ? -1 : device.size() - device.pos();
    if (!IsWideText(head, size)) {
        return IsVCard(head) ? ReadVCards(device, progress, pieceBytes) : ReadCsv(device, progress, pieceBytes);
    }
    // UTF-16 is made UTF-8 whole before it is read.
    if (size > maxWholeBytes) {
        return TooLarge();
    }
    const QByteArray bytes = device.read(maxWholeBytes + 1);
    if (bytes.size() > maxWholeBytes) {
        return TooLarge();
    }
    return ReadContactFile(bytes);
}

const ContactText& ContactUtf8::Of(const ContactCard& card)
{
    const QString* fields[] = {&card.name,   &card.category, &card.homePhone, &card.mobilePhone, &card.workPhone,
                               &card.emails, &card.qq,       &card.msn,       &card.icq,         &card.url};
    QByteArrayView* views[] = {&m_text.name,      &m_text.category, &m_text.homePhone, &m_text.mobilePhone,
                               &m_text.workPhone, &m_text.emails,   &m_text.qq,        &m_text.msn,
                               &m_text.icq,       &m_text.url};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        m_fields[i] = fields[i]->toUtf8();
        *views[i] = m_fields[i];
    }
    return m_text;
}

qint64 MaxContactFileBytes()
{
    return std::max(PhysicalMemoryBytes() / 8, MaxWholeContactFileBytes);
}
