#pragma once

#include <QList>
#include <QString>

#include <optional>

// The text a drag of list rows carries: a prefix and the records' keys, "Morvanta:12,7,40".

// The keys named by a drag text; nullopt for any text that is not exactly such a list of keys.
std::optional<QList<qint64>> ParseDragText(const QString& text);
// The drag text for keys (empty for none).
QString FormatDragText(const QList<qint64>& ids);
