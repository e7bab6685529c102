#include "main/ColumnLayout.h"

#include <QHeaderView>

#include <algorithm>
#include <limits>
#include <numeric>

#include "core/AppState.h"
#include "core/OperateIni.h"
#include "ui/FormState.h"

namespace {

constexpr int MaxColumnPixels = 4000;

} // namespace

QString ColumnLayout::Key(const char* name, int column) const
{
    return m_mode + QLatin1String(name) + (column > 0 ? QString::number(column) : QString());
}

void ColumnLayout::Save(QWidget* parent, const QHeaderView* header, Sort sort, bool fitted) const
{
    const int tx = TwipsPerPixelX(header);
    QList<std::pair<QString, QString>> values;
    for (int i = 0; i < header->count(); ++i) {
        values.append({Key("_HP", i + 1), QString::number(header->visualIndex(i) + 1)});
        values.append({Key("_HW", i + 1), QString::number(PixelsToTwips(header->sectionSize(i), tx))});
    }
    values.append({Key("_SortKey"), QString::number(sort.column)});
    values.append({Key("_SortOrder"), QString::number(sort.order)});
    values.append({Key("_Fitted"), QString::number(fitted ? 1 : 0)});
    // One replacement of the file rather than one per value: this runs on every list load.
    SaveSettings(parent, m_section, values);
}

ColumnLayout::Sort ColumnLayout::Load(QHeaderView* header, Sort current) const
{
    const int tx = TwipsPerPixelX(header);
    const int count = header->count();
    auto read = [&](const QString& key, int now) {
        return IniToInt(ReadIni(m_section, key, QString::number(now), IniFile));
    };
    for (int i = 0; i < count; ++i) {
        const std::optional<int> position = read(Key("_HP", i + 1), header->visualIndex(i) + 1);
        if (position && *position >= 1 && *position <= count) {
            header->moveSection(header->visualIndex(i), *position - 1);
        }
        const std::optional<int> width = read(Key("_HW", i + 1), PixelsToTwips(header->sectionSize(i), tx));
        if (width && *width > 0) {
            header->resizeSection(i,
                                  std::clamp(TwipsToPixels(*width, tx), header->minimumSectionSize(), MaxColumnPixels));
        }
    }
    Sort sort = current;
    if (const std::optional<int> column = read(Key("_SortKey"), current.column)) {
        sort.column = *column;
    }
    // A sort column kept from the other list mode may not exist here.
    if (sort.column < 0 || sort.column >= count) {
        sort.column = 0;
    }
    if (const std::optional<int> order = read(Key("_SortOrder"), current.order);
        order && (*order == 0 || *order == 1)) {
        sort.order = *order;
    }
    return sort;
}

bool ColumnLayout::HasWidths() const
{
    return !ReadIni(m_section, Key("_HW", 1), QString(), IniFile).trimmed().isEmpty();
}

bool ColumnLayout::Fitted() const
{
    return IniToInt(ReadIni(m_section, Key("_Fitted"), QString(), IniFile)) == 1;
}

QList<int> ColumnLayout::FitWidths(const QList<int>& natural, int available, int minimum)
{
    QList<int> order(natural.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return natural[a] < natural[b]; });
    // Give each column, narrowest first, its natural width while an equal share of what is left
    // holds it; the rest get that share.
    int left = available;
    int cap = std::numeric_limits<int>::max();
    for (qsizetype i = 0; i < order.size(); ++i) {
        const int share = left / int(order.size() - i);
        if (natural[order[i]] > share) {
            cap = share;
            break;
        }
        left -= natural[order[i]];
    }
    QList<int> widths;
    widths.reserve(natural.size());
    for (const int width : natural) {
        widths.append(width <= cap ? width : std::max(cap, minimum));
    }
    return widths;
}
