#pragma once

#include <QList>
#include <QString>

class QHeaderView;
class QWidget;

// The list's column layout, kept per list mode in a section of the settings file: each column's
// display position and width (in twips, so the file moves between screens), the sort column and
// the sort direction. Values that are missing, not numbers or out of range leave the list as it is.
class ColumnLayout
{
public:
    struct Sort
    {
        int column = 0;
        int order = 0; // 0 ascending, 1 descending
    };

    ColumnLayout(QString section, QString mode) : m_section(std::move(section)), m_mode(std::move(mode)) {}

    // Writes the layout in one replacement of the file; a failure is told to the user (parent)
    // once per session. fitted: the widths are the list's own fit, which the user has not changed.
    void Save(QWidget* parent, const QHeaderView* header, Sort sort, bool fitted = false) const;
    // Moves and sizes the columns as stored, and gives back the stored sort (current where none).
    Sort Load(QHeaderView* header, Sort current) const;
    // Whether column widths are stored for this mode; without them the list fits its columns.
    bool HasWidths() const;
    // Whether the widths stored are a fit the user never changed: the list fits them again to the
    // room it has. Settings that do not say so hold the user's widths.
    bool Fitted() const;

    // Widths for columns that would like the natural widths, sharing available: all natural when
    // they fit; otherwise the narrow ones keep theirs and the widest share what is left equally,
    // never below minimum.
    static QList<int> FitWidths(const QList<int>& natural, int available, int minimum = 0);

private:
    QString Key(const char* name, int column = 0) const;

    QString m_section;
    QString m_mode; // "List" or "Type"
};
