#pragma once

#include <QIcon>
#include <QPainter>
#include <QPixmap>

#include <initializer_list>

// An icon from a picture that `draw` paints on a 16 x 16 grid, rendered
// anti-aliased at each of `sizes` pixels.
inline QIcon drawnIcon(void (*draw)(QPainter &), std::initializer_list<int> sizes)
{
    QIcon icon;
    for (const int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
