// The contact readers (vCard, CSV, the guess of an undeclared encoding): any file read without
// harm, and the contacts read come back the same after an export in each format. Only the readers'
// and writers' public entry points are used.
#include "exchange/ContactFile.h"
#include "exchange/Csv.h"
#include "exchange/Encoding.h"
#include "exchange/VCard.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Every field of the book is one line: the writers drop a line break that a file put inside a value.
QStringList Fields(const ContactCard& c)
{
    QStringList fields{c.name,   c.category, c.homePhone, c.mobilePhone, c.workPhone,
                       c.emails, c.qq,       c.msn,       c.icq,         c.url};
    for (QString& field : fields) {
        field.remove(u'\r').remove(u'\n');
    }
    return fields;
}

bool Same(const ContactCard& a, const ContactCard& b)
{
    return Fields(a) == Fields(b);
}

void ReadsBack(const QList<ContactCard>& cards, const QByteArray& exported)
{
    const ContactFile again = ReadContactFile(exported);
    FUZZ_CHECK(again.error.isEmpty());
    FUZZ_CHECK(again.cards.size() == cards.size());
    for (qsizetype i = 0; i < cards.size(); ++i) {
        FUZZ_CHECK(Same(again.cards[i], cards[i]));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size) - 1);
    QByteArray encoding;
    DecodeText(bytes, &encoding);
    const ContactFile file = data[0] % 3 == 0   ? ReadContactFile(bytes)
                             : data[0] % 3 == 1 ? ReadVCards(bytes)
                                                : ReadCsv(bytes);
    if (!file.error.isEmpty() || file.cards.isEmpty()) {
        return 0;
    }
    ReadsBack(file.cards, WriteVCards(file.cards, VCardVersion::V40));
    ReadsBack(file.cards, WriteVCards(file.cards, VCardVersion::V30));
    ReadsBack(file.cards, WriteCsv(file.cards));
    return 0;
}
