#include "ui/table_printer.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <algorithm>
#include <numeric>

#include "ui/text.h"

namespace quorvel::ui {

namespace {

// A cell's text on one line: line breaks and other control characters would
// break the row apart.
QString oneLine(const std::string& bytes) {
    QString text = fromBytes(bytes);
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QChar(' ');
    return text;
}

}  // namespace

void printTable(QPrinter& printer, const PrintedTable& table) {
    printer.setPageOrientation(QPageLayout::Portrait);
    QPainter painter(&printer);
    if (!painter.isActive()) return;
    const QRect page = painter.viewport();
    QFont font("Sans Serif", 9);
    painter.setFont(font);
    const QFontMetrics metrics(font, painter.device());
    const int line = metrics.height() + metrics.height() / 4;
    const int margin = line;

    const std::size_t columns = table.headings.size();
    const int totalWidth = std::max(1, std::accumulate(table.widths.begin(), table.widths.end(), 0));
    std::vector<int> left(columns + 1, page.left());
    for (std::size_t c = 0; c < columns; ++c)
        left[c + 1] = left[c] + static_cast<int>(static_cast<long long>(page.width()) *
                                                 (c < table.widths.size() ? table.widths[c] : 0) / totalWidth);

    QFont bold = font;
    bold.setBold(true);
    int pageNumber = 1;
    int y = 0;
    const auto drawRow = [&](const std::vector<std::string>& cells, int top) {
        for (std::size_t c = 0; c < columns && c < cells.size(); ++c) {
            const QRect cell(left[c] + 2, top, left[c + 1] - left[c] - 4, line);
            const bool right = c < table.alignRight.size() && table.alignRight[c];
            const QString text = metrics.elidedText(oneLine(cells[c]), Qt::ElideRight, cell.width());
            painter.drawText(cell, Qt::AlignVCenter | (right ? Qt::AlignRight : Qt::AlignLeft), text);
        }
    };
    const auto startPage = [&] {
        const QRect top(page.left(), page.top(), page.width(), line);
        painter.setFont(bold);
        painter.drawText(top, Qt::AlignHCenter | Qt::AlignVCenter, fromBytes(table.title));
        painter.setFont(font);
        painter.drawText(top, Qt::AlignLeft | Qt::AlignVCenter, fromBytes(table.date));
        painter.drawText(top, Qt::AlignRight | Qt::AlignVCenter, fromBytes(table.time));
        const QRect bottom(page.left(), page.bottom() - line, page.width(), line);
        painter.drawText(bottom, Qt::AlignRight | Qt::AlignVCenter, QString("Page %1").arg(pageNumber));
        y = page.top() + line + margin;
        painter.setFont(bold);
        drawRow(table.headings, y);
        painter.setFont(font);
        y += line;
        painter.drawLine(page.left(), y, page.right(), y);
    };
    startPage();
    const int lastTop = page.bottom() - line - margin - line;
    for (const auto& row : table.rows) {
        if (y > lastTop) {
            printer.newPage();
            ++pageNumber;
            startPage();
        }
        drawRow(row, y);
        y += line;
    }
}

}  // namespace quorvel::ui
