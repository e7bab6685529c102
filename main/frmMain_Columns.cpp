// The list's columns: sorting by a clicked column, and the column layout kept per list mode in
// the settings file (display positions, widths in twips, sort column and direction).
#include "main/frmMain.h"

#include <QHeaderView>
#include <QTreeView>

#include "core/AppState.h"
#include "core/OperateIni.h"
#include "main/ListViewSort.h"
#include "main/RecordListModel.h"
#include "ui/FormState.h"

namespace {

constexpr int MaxColumnPixels = 4000;

} // namespace

bool frmMain::IsSorted() const
{
    return ListView1->property("Sorted").toBool();
}

void frmMain::SetSorted(bool sorted)
{
    ListView1->setProperty("Sorted", sorted);
    if (sorted) {
        m_model->sort(m_sortKey, m_sortOrder != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    }
}

void frmMain::ListView1_ColumnClick(int column)
{
    if (!IsSorted()) {
        // The header moved its indicator on the click; the rows did not move, so neither may it.
        ListView1->header()->setSortIndicator(m_sortKey, m_sortOrder != 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
        return;
    }
    SetSorted(false);
    if (m_sortKey == column) {
        m_sortOrder = m_sortOrder == 0 ? 1 : 0;
    } else {
        m_sortOrder = 0;
        m_sortKey = column;
    }
    SetSorted(true);
    ListSorter().SetHeaderIcons(m_sortKey, m_sortOrder);
}

void frmMain::SaveColumnState()
{
    const QString mode = ListMode();
    const QString section = objectName();
    QHeaderView* header = ListView1->header();
    const int tx = TwipsPerPixelX(this);
    QList<std::pair<QString, QString>> values;
    for (int i = 0; i < header->count(); ++i) {
        const QString n = QString::number(i + 1);
        values.append({mode + QStringLiteral("_HP") + n, QString::number(header->visualIndex(i) + 1)});
        values.append({mode + QStringLiteral("_HW") + n, QString::number(PixelsToTwips(header->sectionSize(i), tx))});
    }
    values.append({mode + QStringLiteral("_SortKey"), QString::number(m_sortKey)});
    values.append({mode + QStringLiteral("_SortOrder"), QString::number(m_sortOrder)});
    // One replacement of the file rather than one per value: this runs on every list load.
    SaveSettings(this, section, values);
}

void frmMain::LoadColumnState()
{
    const QString mode = ListMode();
    const QString section = objectName();
    QHeaderView* header = ListView1->header();
    const int tx = TwipsPerPixelX(this);
    const int count = header->count();
    // Values that are not numbers, or out of range, leave the current layout as it is.
    for (int i = 0; i < count; ++i) {
        const QString n = QString::number(i + 1);
        const std::optional<int> position = IniToInt(
            ReadIni(section, mode + QStringLiteral("_HP") + n, QString::number(header->visualIndex(i) + 1), IniFile));
        if (position && *position >= 1 && *position <= count) {
            header->moveSection(header->visualIndex(i), *position - 1);
        }
        const std::optional<int> width =
            IniToInt(ReadIni(section, mode + QStringLiteral("_HW") + n,
                             QString::number(PixelsToTwips(header->sectionSize(i), tx)), IniFile));
        if (width && *width > 0) {
            header->resizeSection(i,
                                  std::clamp(TwipsToPixels(*width, tx), header->minimumSectionSize(), MaxColumnPixels));
        }
    }
    const std::optional<int> sortKey =
        IniToInt(ReadIni(section, mode + QStringLiteral("_SortKey"), QString::number(m_sortKey), IniFile));
    if (sortKey) {
        m_sortKey = *sortKey;
    }
    // A sort column kept from the other list mode may not exist here.
    if (m_sortKey < 0 || m_sortKey >= count) {
        m_sortKey = 0;
    }
    const std::optional<int> sortOrder =
        IniToInt(ReadIni(section, mode + QStringLiteral("_SortOrder"), QString::number(m_sortOrder), IniFile));
    if (sortOrder && (*sortOrder == 0 || *sortOrder == 1)) {
        m_sortOrder = *sortOrder;
    }
}
