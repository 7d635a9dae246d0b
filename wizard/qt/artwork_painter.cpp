// SPDX-License-Identifier: MIT
// Artwork painted with QPainter. Every shape is placed in fractions of the
// canvas so that one design serves the nominal sizes and the wizard's own.
#include "wizard/qt/artwork_painter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace wizard {
namespace {

const QColor kDeepGreen(0x1b, 0x5e, 0x3b);
const QColor kGreen(0x2e, 0x8b, 0x57);
const QColor kSheetLine(0x9c, 0xc9, 0xae);
const QColor kCellFill(0xb7, 0xe1, 0xc6);

// A sheet: a white page with a header row, a grid and a few filled cells.
void PaintSheet(QPainter& painter, const QRectF& area, int columns, int rows) {
    painter.setPen(QPen(kDeepGreen, std::max(1.0, area.width() / 60.0)));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(area, area.width() / 20.0, area.width() / 20.0);
    const double cellWidth = area.width() / columns;
    const double cellHeight = area.height() / rows;
    painter.setPen(Qt::NoPen);
    painter.setBrush(kGreen);
    painter.drawRect(
        QRectF(area.left(), area.top(), area.width(), cellHeight).adjusted(1, 1, -1, 0));
    painter.setBrush(kCellFill);
    for (int row = 1; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if ((row * 3 + column * 5) % 7 == 0) {
                painter.drawRect(QRectF(area.left() + column * cellWidth,
                                        area.top() + row * cellHeight, cellWidth, cellHeight));
            }
        }
    }
    painter.setPen(QPen(kSheetLine, 1));
    for (int column = 1; column < columns; ++column) {
        const double x = area.left() + column * cellWidth;
        painter.drawLine(QPointF(x, area.top() + cellHeight), QPointF(x, area.bottom()));
    }
    for (int row = 1; row < rows; ++row) {
        const double y = area.top() + row * cellHeight;
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
}

// A text file: a page with a folded corner and comma-separated dashes.
void PaintTextFile(QPainter& painter, const QRectF& area) {
    const double fold = area.width() * 0.28;
    QPainterPath page;
    page.moveTo(area.topLeft());
    page.lineTo(area.right() - fold, area.top());
    page.lineTo(area.right(), area.top() + fold);
    page.lineTo(area.bottomRight());
    page.lineTo(area.bottomLeft());
    page.closeSubpath();
    painter.setPen(QPen(kDeepGreen, std::max(1.0, area.width() / 40.0)));
    painter.setBrush(QColor(0xf7, 0xfb, 0xf8));
    painter.drawPath(page);
    painter.setPen(QPen(kGreen, std::max(1.0, area.height() / 40.0), Qt::SolidLine, Qt::RoundCap));
    const int lines = 6;
    for (int line = 0; line < lines; ++line) {
        const double y = area.top() + fold + (area.height() - fold) * (line + 0.7) / (lines + 0.5);
        double x = area.left() + area.width() * 0.12;
        for (int field = 0; field < 3; ++field) {
            const double length = area.width() * (0.14 + 0.06 * ((line + field) % 3));
            painter.drawLine(QPointF(x, y), QPointF(x + length, y));
            x += length + area.width() * 0.08;
        }
    }
}

void PaintArrow(QPainter& painter, QPointF from, QPointF to, double width) {
    painter.setPen(QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(from, to);
    const QPointF direction = (to - from) / std::max(1.0, QLineF(from, to).length());
    const QPointF normal(-direction.y(), direction.x());
    const double head = width * 2.5;
    painter.drawLine(to, to - direction * head + normal * head);
    painter.drawLine(to, to - direction * head - normal * head);
}

}  // namespace

QPixmap LogoArt(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    PaintSheet(painter, QRectF(1.5, 1.5, size.width() - 3.0, size.height() - 3.0), 4, 4);
    return pixmap;
}

QPixmap WatermarkArt(QSize size) {
    QPixmap pixmap(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient column(0, 0, 0, size.height());
    column.setColorAt(0.0, kGreen);
    column.setColorAt(0.72, kDeepGreen);
    column.setColorAt(1.0, Qt::white);
    painter.fillRect(pixmap.rect(), column);

    // Soft diagonal bands give the column some depth.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 18));
    const double w = size.width();
    const double h = size.height();
    for (int band = 0; band < 4; ++band) {
        QPainterPath path;
        const double y = h * (0.15 + 0.22 * band);
        path.moveTo(0, y);
        path.lineTo(w, y - w * 0.35);
        path.lineTo(w, y - w * 0.35 + h * 0.08);
        path.lineTo(0, y + h * 0.08);
        path.closeSubpath();
        painter.drawPath(path);
    }

    const double unit = std::min(w, h * 0.52);
    const QRectF file(w * 0.5 - unit * 0.32, h * 0.12, unit * 0.5, unit * 0.64);
    PaintTextFile(painter, file);
    const QRectF sheet(w * 0.5 - unit * 0.36, h * 0.56, unit * 0.72, unit * 0.56);
    PaintSheet(painter, sheet, 4, 6);
    PaintArrow(painter, QPointF(w * 0.5 + unit * 0.1, file.bottom() + h * 0.02),
               QPointF(w * 0.5 + unit * 0.1, sheet.top() - h * 0.03), std::max(2.0, unit / 28));
    return pixmap;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int side : {16, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kGreen);
        painter.drawRoundedRect(QRectF(0, 0, side, side), side * 0.18, side * 0.18);
        const double margin = side * 0.16;
        PaintSheet(painter, QRectF(margin, margin, side - 2 * margin, side - 2 * margin), 3, 4);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace wizard
