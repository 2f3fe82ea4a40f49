#include "KImageList.h"

#include <QPainter>

namespace widgets {

TKImageList::TKImageList(QSize imageSize, QObject *parent) : QObject(parent), m_size(imageSize) {}

int TKImageList::Add(const QPixmap &pixmap)
{
    m_images.push_back(pixmap.size() == m_size
                           ? pixmap
                           : pixmap.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return Count() - 1;
}

QPixmap TKImageList::image(int index) const
{
    return index >= 0 && index < Count() ? m_images[index] : QPixmap();
}

void TKImageList::Draw(QPainter &painter, int x, int y, int index) const
{
    if (index >= 0 && index < Count())
        painter.drawPixmap(x, y, m_images[index]);
}

namespace {

enum class Glyph { Close, Minimize, Maximize };
enum class Look { Normal, Hot, Pressed, Disabled };

// One button picture: a rounded plate (hot and pressed only) and the glyph in
// the middle. Sized for 16 x 16 and the dark gradient of the title panel.
QPixmap windowIcon(Glyph glyph, Look look)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);

    QColor plate, rim, ink;
    switch (look) {
    case Look::Normal:
        ink = QColor(0xD0, 0xD0, 0xD0);
        break;
    case Look::Hot:
        plate = glyph == Glyph::Close ? QColor(0xC4, 0x2B, 0x1C) : QColor(0x5A, 0x5A, 0x5A);
        rim = glyph == Glyph::Close ? QColor(0xE8, 0x70, 0x60) : QColor(0x90, 0x90, 0x90);
        ink = Qt::white;
        break;
    case Look::Pressed:
        plate = glyph == Glyph::Close ? QColor(0x8A, 0x18, 0x10) : QColor(0x1E, 0x1E, 0x1E);
        rim = glyph == Glyph::Close ? QColor(0xB0, 0x40, 0x30) : QColor(0x70, 0x70, 0x70);
        ink = QColor(0xE0, 0xE0, 0xE0);
        break;
    case Look::Disabled:
        ink = QColor(0x70, 0x70, 0x70);
        break;
    }
    if (plate.isValid()) {
        painter.setPen(QPen(rim, 1));
        painter.setBrush(plate);
        painter.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    }
    // Pressed glyphs sit one pixel lower and to the right, like a pushed button.
    const qreal shift = look == Look::Pressed ? 1 : 0;
    QPen pen(ink, 1.6, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    switch (glyph) {
    case Glyph::Close:
        painter.drawLine(QPointF(4.5 + shift, 4.5 + shift), QPointF(11.5 + shift, 11.5 + shift));
        painter.drawLine(QPointF(11.5 + shift, 4.5 + shift), QPointF(4.5 + shift, 11.5 + shift));
        break;
    case Glyph::Minimize:
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillRect(QRectF(4 + shift, 10 + shift, 8, 2), ink);
        break;
    case Glyph::Maximize:
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(QPen(ink, 1));
        painter.drawRect(QRectF(4 + shift, 4 + shift, 7, 7));
        painter.fillRect(QRectF(4 + shift, 4 + shift, 8, 2), ink); // the title bar of the little window
        break;
    }
    return pixmap;
}

} // namespace

TKImageList *WindowIconImages(QObject *parent)
{
    auto *list = new TKImageList(QSize(16, 16), parent);
    for (Glyph glyph : {Glyph::Close, Glyph::Minimize, Glyph::Maximize})
        for (Look look : {Look::Normal, Look::Hot, Look::Pressed})
            list->Add(windowIcon(glyph, look));
    for (Glyph glyph : {Glyph::Close, Glyph::Minimize, Glyph::Maximize})
        list->Add(windowIcon(glyph, Look::Disabled));
    return list;
}

} // namespace widgets
