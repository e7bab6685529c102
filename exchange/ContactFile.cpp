#include "exchange/ContactFile.h"

#include <QIODevice>

#include <algorithm>

#include "core/platform/SystemMemory.h"
#include "exchange/Csv.h"
#include "exchange/Encoding.h"
#include "exchange/VCard.h"

namespace {

// A vCard file has a BEGIN:VCARD line before anything that looks like a row of a table: some
// programs write a line of their own first ("ENCODING:UTF-8"), which is no CSV header.
bool IsVCard(QByteArrayView start)
{
    QByteArrayView head = start.first(std::min<qsizetype>(start.size(), 4096));
    if (head.startsWith("\xEF\xBB\xBF")) {
        head = head.sliced(3);
    }
    while (!head.isEmpty()) {
        qsizetype end = 0;
        while (end < head.size() && head[end] != '\n' && head[end] != '\r') {
            ++end;
        }
        const QByteArrayView line = head.first(end).trimmed();
        head = head.sliced(std::min(end + 1, head.size()));
        if (line.size() == 11 && QByteArray(line.data(), line.size()).toUpper() == "BEGIN:VCARD") {
            return true;
        }
        if (line.contains(',') || line.contains(';') || line.contains('\t') || line.contains('"')) {
            return false;
        }
    }
    return false;
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
    return IsVCard(bytes) ? ReadVCards(bytes, CardParts::Everything) : ReadCsv(bytes);
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

const ContactDetails& ContactCard::Details() const
{
    static const ContactDetails none;
    return sharedDetails ? *sharedDetails : none;
}

ContactDetails& ContactCard::EditDetails()
{
    if (!sharedDetails) {
        sharedDetails = std::make_shared<ContactDetails>();
    } else if (sharedDetails.use_count() > 1) {
        sharedDetails = std::make_shared<ContactDetails>(*sharedDetails);
    }
    return *sharedDetails;
}

void ContactCard::SetDetails(ContactDetails details)
{
    sharedDetails = details.IsEmpty() ? nullptr : std::make_shared<ContactDetails>(std::move(details));
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
    m_text.details = card.sharedDetails.get();
    return m_text;
}

qint64 MaxContactFileBytes()
{
    return std::max(PhysicalMemoryBytes() / 8, MaxWholeContactFileBytes);
}
