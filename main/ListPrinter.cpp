#include "main/ListPrinter.h"

#include <QHeaderView>
#include <QPainter>
#include <QPrinter>
#include <QTextOption>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>

#include "main/ColumnLayout.h"
#include "main/RecordListView.h"

void ListPrinter::Render(QPrinter* printer) const
{
    QPainter painter(printer);
    if (!painter.isActive()) {
        return;
    }
    const QHeaderView* header = m_list->header();
    const QAbstractItemModel* model = m_list->model();
    QList<int> columns; // logical indexes in display order
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical)) {
            columns.append(logical);
        }
    }
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const QRect area(0, 0, page.width(), page.height());
    QFont font = m_list->font();
    QFont bold = font;
    bold.setBold(true);
    painter.setFont(font);
    const int lineHeight = painter.fontMetrics().height() * 5 / 4;
    const int gap = painter.fontMetrics().averageCharWidth(); // between two columns
    const int rows = model->rowCount();
    auto cellText = [&](int row, int column) { return model->data(model->index(row, column)).toString(); };

    // Each column as wide as its caption or its widest value on paper; when they do not all fit,
    // the widest share what is left and their values wrap. A value is never cut.
    // Measured as they are laid out when drawn, so a value that fits is never wrapped.
    QTextOption oneLine;
    oneLine.setWrapMode(QTextOption::NoWrap);
    auto textWidth = [&](const QString& text) {
        return static_cast<int>(std::ceil(painter.boundingRect(QRectF(0, 0, 1e7, 1e7), text, oneLine).width())) + 1;
    };
    QList<int> natural;
    for (const int column : columns) {
        painter.setFont(bold);
        int width = textWidth(model->headerData(column, Qt::Horizontal).toString());
        painter.setFont(font);
        for (int row = 0; row < rows; ++row) {
            width = std::max(width, textWidth(cellText(row, column)));
        }
        natural.append(width + gap);
    }
    const QList<int> widths = ColumnLayout::FitWidths(natural, area.width(), 4 * gap);
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // The height a row of texts takes when each wraps in its column.
    auto rowHeight = [&](const std::function<QString(int)>& text, const QFont& rowFont) {
        painter.setFont(rowFont);
        qreal height = lineHeight;
        for (int i = 0; i < columns.size(); ++i) {
            const QRectF box(0, 0, std::max(1, widths[i] - gap), 1e9);
            height = std::max(height, painter.boundingRect(box, text(columns[i]), wrap).height() +
                                          (lineHeight - painter.fontMetrics().height()));
        }
        return static_cast<int>(std::ceil(height));
    };
    auto caption = [&](int column) { return model->headerData(column, Qt::Horizontal).toString(); };
    const int headerHeight = rowHeight(caption, bold);

    // Rows go on a page until the next would run into the page number at the foot.
    const int top = lineHeight * 3 / 2 + headerHeight;
    const int bottom = area.height() - lineHeight * 3 / 2;
    QList<int> heights(rows);
    QList<int> firstRows{0};
    for (int row = 0, y = top; row < rows; ++row) {
        heights[row] = rowHeight([&](int column) { return cellText(row, column); }, font);
        if (y + heights[row] > bottom && row > firstRows.last()) {
            firstRows.append(row);
            y = top;
        }
        y += heights[row];
    }
    const int pages = static_cast<int>(firstRows.size());
    const int tableWidth = std::accumulate(widths.begin(), widths.end(), 0);

    // One row of texts at y, each wrapped in its column.
    auto drawRow = [&](int y, int height, const std::function<QString(int)>& text, bool alignAsModel, int row) {
        int x = 0;
        for (int i = 0; i < columns.size(); ++i) {
            QTextOption option = wrap;
            if (alignAsModel) {
                const QVariant align = model->data(model->index(row, columns[i]), Qt::TextAlignmentRole);
                option.setAlignment(Qt::Alignment(align.toInt()) & Qt::AlignHorizontal_Mask);
            }
            painter.drawText(QRectF(x, y + (lineHeight - painter.fontMetrics().height()) / 2.0,
                                    std::max(1, widths[i] - gap), height),
                             text(columns[i]), option);
            x += widths[i];
        }
    };
    for (int pageNo = 0; pageNo < pages; ++pageNo) {
        if (pageNo > 0) {
            printer->newPage();
        }
        painter.setFont(bold);
        painter.drawText(QRect(0, 0, area.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, m_heading);
        int y = lineHeight * 3 / 2;
        drawRow(y, headerHeight, caption, false, 0);
        y += headerHeight;
        painter.drawLine(0, y, tableWidth, y);
        painter.setFont(font);
        const int end = pageNo + 1 < pages ? firstRows[pageNo + 1] : rows;
        for (int row = firstRows[pageNo]; row < end; ++row) {
            drawRow(
                y, heights[row], [&](int column) { return cellText(row, column); }, true, row);
            y += heights[row];
        }
        painter.drawText(QRect(0, area.height() - lineHeight, area.width(), lineHeight), Qt::AlignCenter,
                         m_pageText.arg(pageNo + 1).arg(pages));
    }
}
