#include "KCustomLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace widgets {

TKCustomLabel::TKCustomLabel(QWidget *parent) : QWidget(parent)
{
    m_fontColor = palette().color(QPalette::WindowText);
    resize(65, 17);
}

void TKCustomLabel::setCaption(const QString &caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    AdjustBounds();
    update();
}

void TKCustomLabel::setAlignment(TAlignment alignment)
{
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    update();
}

void TKCustomLabel::setLayout(TTextLayout layout)
{
    if (layout == m_layout)
        return;
    m_layout = layout;
    update();
}

void TKCustomLabel::setWordWrap(bool on)
{
    if (on == m_wordWrap)
        return;
    m_wordWrap = on;
    AdjustBounds();
    update();
}

void TKCustomLabel::setTransparent(bool on)
{
    if (on == m_transparent)
        return;
    m_transparent = on;
    update();
}

void TKCustomLabel::setAutoSize(bool on)
{
    if (on == m_autoSize)
        return;
    m_autoSize = on;
    AdjustBounds();
}

void TKCustomLabel::setShowAccelChar(bool on)
{
    if (on == m_showAccelChar)
        return;
    m_showAccelChar = on;
    AdjustBounds();
    update();
}

QColor TKCustomLabel::Color() const
{
    return m_color.isValid() ? m_color : palette().color(QPalette::Window);
}

void TKCustomLabel::setColor(const QColor &colour)
{
    m_color = colour;
    update();
}

void TKCustomLabel::setFontColor(const QColor &colour)
{
    m_fontColor = colour;
    update();
}

int TKCustomLabel::textFlags() const
{
    int flags = Qt::TextExpandTabs;
    if (m_showAccelChar)
        flags |= Qt::TextShowMnemonic;
    if (m_wordWrap)
        flags |= Qt::TextWordWrap;
    Qt::Alignment horizontal = m_alignment == taRightJustify ? Qt::AlignRight
                               : m_alignment == taCenter     ? Qt::AlignHCenter
                                                             : Qt::AlignLeft;
    flags |= QStyle::visualAlignment(layoutDirection(), horizontal);
    return flags;
}

QSize TKCustomLabel::textExtent() const
{
    const QString text = m_caption.isEmpty() ? QStringLiteral(" ") : m_caption;
    const int limit = m_wordWrap ? std::max(width(), 1) : 1 << 20;
    const int flags = (textFlags() & ~Qt::AlignHorizontal_Mask) | Qt::AlignLeft;
    return fontMetrics().boundingRect(QRect(0, 0, limit, 1 << 20), flags, text).size();
}

QSize TKCustomLabel::autoSizeExtra(QSize) const { return {}; }

void TKCustomLabel::AdjustBounds()
{
    if (!m_autoSize)
        return;
    const QSize text = textExtent();
    const QSize extra = autoSizeExtra(text);
    const QSize wanted(text.width() + extra.width(), text.height() + extra.height());
    if (wanted == size())
        return;
    const bool keepRight = (textFlags() & Qt::AlignRight) != 0;
    QRect bounds = geometry();
    const int right = bounds.x() + bounds.width();
    bounds.setSize(wanted);
    if (keepRight)
        bounds.moveLeft(right - wanted.width());
    setGeometry(bounds);
}

void TKCustomLabel::drawCaption(QPainter &painter, const QRect &rect, int flags) const
{
    if (m_caption.isEmpty())
        return;
    painter.save();
    painter.setFont(font());
    if (isEnabled()) {
        painter.setPen(m_fontColor);
        painter.drawText(rect, flags, m_caption);
    } else {
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(rect.translated(1, 1), flags, m_caption);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawText(rect, flags, m_caption);
    }
    painter.restore();
}

void TKCustomLabel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        AdjustBounds();
}

} // namespace widgets
