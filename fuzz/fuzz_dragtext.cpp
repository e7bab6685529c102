// The drag text another program may drop on the type tree: anything refused or read as keys that
// fit, and the keys read give the same keys once written out again.
#include <cstring>
#include <limits>

#include "fuzz/FuzzSupport.h"
#include "main/DragText.h"

namespace {

void Check(const QString& text)
{
    const std::optional<QList<qint64>> ids = ParseDragText(text);
    if (!ids) {
        return;
    }
    FUZZ_CHECK(!ids->isEmpty());
    for (const qint64 id : *ids) {
        FUZZ_CHECK(id >= 1 && id <= std::numeric_limits<qint32>::max());
    }
    FUZZ_CHECK(ParseDragText(FormatDragText(*ids)) == ids);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Check(QString::fromUtf8(bytes));
    QString utf16(bytes.size() / 2, Qt::Uninitialized); // the same bytes as UTF-16
    std::memcpy(utf16.data(), bytes.constData(), static_cast<std::size_t>(utf16.size()) * 2);
    Check(utf16);
    return 0;
}
