#include "main/ListPrinter.h"

#include <QHeaderView>
#include <QPainter>
#include <QPrinter>
#include <QTreeView>

#include <algorithm>

void ListPrinter::Render(QPrinter* printer) const
{
    QPainter painter(printer);
    if (!painter.isActive()) {
        return;
    }
    const QHeaderView* header = m_list->header();
    const QAbstractItemModel* model = m_list->model();
    QList<int> columns; // logical indexes in display order
    int totalWidth = 0;
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical)) {
            columns.append(logical);
            totalWidth += header->sectionSize(logical);
        }
    }
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const QRect area(0, 0, page.width(), page.height());
    // The list's widths, scaled to the page when the list is wider than the paper.
    const double scale =
        totalWidth > 0 ? std::min(1.0, area.width() / (totalWidth * printer->resolution() / 96.0)) : 1.0;
    const double pixel = printer->resolution() / 96.0 * scale;
    QFont font = m_list->font();
    font.setPointSizeF(std::max(6.0, font.pointSizeF() * scale));
    painter.setFont(font);
    const int lineHeight = painter.fontMetrics().height() * 5 / 4;

    const int rowsPerPage = std::max(1, (area.height() - 4 * lineHeight) / lineHeight);
    const int rows = model->rowCount();
    const int pages = std::max(1, (rows + rowsPerPage - 1) / rowsPerPage);
    for (int pageNo = 0; pageNo < pages; ++pageNo) {
        if (pageNo > 0) {
            printer->newPage();
        }
        int y = 0;
        QFont bold = font;
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(QRect(0, y, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, m_heading);
        y += lineHeight * 3 / 2;
        int x = 0;
        for (const int column : columns) {
            const int width = static_cast<int>(header->sectionSize(column) * pixel);
            painter.drawText(QRect(x + 4, y, width - 8, lineHeight), Qt::AlignVCenter | Qt::TextSingleLine,
                             model->headerData(column, Qt::Horizontal).toString());
            x += width;
        }
        y += lineHeight;
        painter.drawLine(0, y, x, y);
        painter.setFont(font);
        for (int row = pageNo * rowsPerPage; row < std::min(rows, (pageNo + 1) * rowsPerPage); ++row) {
            x = 0;
            for (const int column : columns) {
                const int width = static_cast<int>(header->sectionSize(column) * pixel);
                const QModelIndex index = model->index(row, column);
                const auto align = Qt::Alignment(model->data(index, Qt::TextAlignmentRole).toInt());
                const QString cell =
                    painter.fontMetrics().elidedText(model->data(index).toString(), Qt::ElideRight, width - 8);
                painter.drawText(QRect(x + 4, y, width - 8, lineHeight), align | Qt::TextSingleLine, cell);
                x += width;
            }
            y += lineHeight;
        }
        painter.drawText(QRect(0, area.height() - lineHeight, area.width(), lineHeight), Qt::AlignCenter,
                         m_pageText.arg(pageNo + 1).arg(pages));
    }
}
