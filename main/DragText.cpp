#include "main/DragText.h"

#include <QStringList>

#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>

namespace {

const QString DragPrefix = QStringLiteral("Morvanta:");

} // namespace

std::optional<QList<qint64>> ParseDragText(const QString& text)
{
    // Text from other programs can hold anything after the prefix: only plain decimal numbers
    // that fit a key may reach the statements.
    if (!text.startsWith(DragPrefix) || text.size() == DragPrefix.size()) {
        return std::nullopt;
    }
    QList<qint64> ids;
    const QStringView rest = QStringView(text).mid(DragPrefix.size());
    for (const QStringView part : rest.split(u',')) {
        if (part.isEmpty() || part.size() > 10 ||
            !std::all_of(part.begin(), part.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })) {
            return std::nullopt;
        }
        const qint64 id = part.toLongLong();
        if (id < 1 || id > std::numeric_limits<qint32>::max()) {
            return std::nullopt;
        }
        ids.append(id);
    }
    return ids;
}

QString FormatDragText(const QList<qint64>& ids)
{
    if (ids.isEmpty()) {
        return {};
    }
    // Written digit by digit into one buffer: a drag of a hundred thousand rows is made as the
    // pointer starts to move.
    QString text = DragPrefix;
    text.reserve(text.size() + ids.size() * 8);
    char digits[24];
    for (qsizetype i = 0; i < ids.size(); ++i) {
        if (i > 0) {
            text.append(QLatin1Char(','));
        }
        const auto [end, error] = std::to_chars(std::begin(digits), std::end(digits), ids[i]);
        Q_UNUSED(error);
        text.append(QLatin1StringView(digits, end - digits));
    }
    return text;
}
