#pragma once

#include <QString>

class QPrinter;
class RecordListView;

// Prints a list as it is shown: its columns in display order, each as wide as its text on the page
// (the widest wrapping when the paper is narrower than the list, so no value is cut), its rows in
// their order, a heading on every page and the page number at the foot ("Page %1 of %2" in the
// language of the caller).
class ListPrinter
{
public:
    ListPrinter(const RecordListView* list, QString heading, QString pageText)
        : m_list(list), m_heading(std::move(heading)), m_pageText(std::move(pageText))
    {
    }
    void Render(QPrinter* printer) const;

private:
    const RecordListView* m_list;
    QString m_heading;
    QString m_pageText;
};
