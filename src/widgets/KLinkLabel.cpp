#include "KLinkLabel.h"
#include "WaitCursor.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <algorithm>

namespace widgets {

namespace {

bool inList(int index, int count) { return index >= 0 && index < count; }

bool isBlank(const QString &text) { return text.isEmpty() || text == QLatin1String(" "); }

// Qt knows no caption colours; the label's colours stand in for them.
QColor activeCaptionColour(const QPalette &palette) { return palette.color(QPalette::Active, QPalette::Highlight); }
QColor inactiveCaptionColour(const QPalette &palette) { return palette.color(QPalette::Link); }
QColor grayTextColour(const QPalette &palette) { return palette.color(QPalette::Disabled, QPalette::WindowText); }

} // namespace

int chooseImageIndex(const LinkLabelImages &images, int count, bool hot, bool pressed, bool enabled)
{
    int index = images.normal;
    if (hot && inList(images.hot, count))
        index = images.hot;
    if (!enabled && inList(images.disabled, count))
        index = images.disabled;
    else if (pressed && inList(images.pressed, count))
        index = images.pressed;
    return index;
}

LinkLabelPlacement placeLinkLabel(const LinkLabelMetrics &m)
{
    LinkLabelPlacement place;
    QRect text(QPoint(0, 0), m.client);
    if (m.layout == tlBottom) {
        text.translate(0, m.client.height() - m.text.height());
    } else if (m.layout == tlCenter) {
        if (m.hasPictures && m.imageTop)
            text.translate(0, (m.client.height() - m.text.height() + m.image.height() + m.imageTextSpace) / 2);
        else
            text.translate(0, (m.client.height() - m.text.height()) / 2);
    }
    if (m.imageBoarderSpace > 0)
        text.translate(m.imageBoarderSpace, 0);
    if (m.hasPictures && !m.imageTop)
        text.translate(m.image.width() + m.imageTextSpace, 0);
    place.textRect = text;
    if (m.imageTop)
        place.imagePos = QPoint((m.client.width() - m.image.width()) / 2,
                                text.top() - m.image.height() - m.imageTextSpace);
    else
        place.imagePos = QPoint(m.imageBoarderSpace, (m.client.height() - m.image.height()) / 2);
    return place;
}

QSize linkLabelAutoSizeExtra(QSize text, QSize image, bool hasPictures, bool blankCaption, int imageTextSpace,
                             int imageBoarderSpace)
{
    if (!hasPictures)
        return QSize(imageBoarderSpace, 0);
    const int extraWidth = blankCaption ? image.width() - text.width() : image.width() + imageTextSpace;
    const int extraHeight = std::max(image.height() - text.height(), 0);
    return QSize(extraWidth + imageBoarderSpace, extraHeight);
}

TKLinkLabel::TKLinkLabel(QWidget *parent) : TKCustomLabel(parent)
{
    m_colorHot = inactiveCaptionColour(palette());
    m_colorVisited = grayTextColour(palette());
    if (parent)
        setFontColor(activeCaptionColour(palette()));
    OpenLink = [](const QString &url) { return QDesktopServices::openUrl(QUrl::fromUserInput(url)); };
}

TKLinkLabel::~TKLinkLabel() = default;

void TKLinkLabel::setColorFrame(const QColor &colour)
{
    m_colorFrame = colour;
    update();
}

void TKLinkLabel::setColorFrameHot(const QColor &colour)
{
    m_colorFrameHot = colour;
    update();
}

void TKLinkLabel::setColorFrameSelected(const QColor &colour)
{
    m_colorFrameSelected = colour;
    update();
}

void TKLinkLabel::imagesChanged()
{
    AdjustBounds();
    update();
}

void TKLinkLabel::setImageValue(int &member, int value)
{
    if (member == value)
        return;
    member = value;
    imagesChanged();
}

void TKLinkLabel::setImageIndex(int index) { setImageValue(m_images.normal, index); }
void TKLinkLabel::setImageIndexHot(int index) { setImageValue(m_images.hot, index); }
void TKLinkLabel::setImageIndexPressed(int index) { setImageValue(m_images.pressed, index); }
void TKLinkLabel::setImageIndexDisabled(int index) { setImageValue(m_images.disabled, index); }
void TKLinkLabel::setImageTextSpace(int pixels) { setImageValue(m_imageTextSpace, pixels); }
void TKLinkLabel::setImageBoarderSpace(int pixels) { setImageValue(m_imageBoarderSpace, pixels); }

void TKLinkLabel::setImageTop(bool on)
{
    m_imageTop = on;
    update();
}

void TKLinkLabel::setImageList(TKImageList *list)
{
    if (list == m_imageList)
        return;
    if (m_imageList)
        disconnect(m_imageList, &QObject::destroyed, this, nullptr);
    m_imageList = list;
    if (list)
        connect(list, &QObject::destroyed, this, [this] { update(); });
    imagesChanged();
}

void TKLinkLabel::setURL(const QString &url)
{
    m_url = url;
    m_visitLink = m_visitLink && !isBlank(url);
}

void TKLinkLabel::setCaption(const QString &caption)
{
    if (Caption() == m_url)
        setURL(caption);
    TKCustomLabel::setCaption(caption);
}

void TKLinkLabel::setShowFrame(bool on)
{
    m_showFrame = on;
    update();
}

void TKLinkLabel::setShowSelected(bool on)
{
    m_showSelected = on;
    update();
}

void TKLinkLabel::setSelected(bool on)
{
    m_selected = on;
    update();
}

bool TKLinkLabel::hasPictures() const
{
    return m_imageList
           && (m_images.normal >= 0 || m_images.hot >= 0 || m_images.pressed >= 0 || m_images.disabled >= 0);
}

int TKLinkLabel::currentImageIndex() const
{
    const int count = m_imageList ? m_imageList->Count() : 0;
    return chooseImageIndex(m_images, count, m_hot, m_pressed, isEnabled());
}

QSize TKLinkLabel::autoSizeExtra(QSize text) const
{
    const QSize image = m_imageList ? m_imageList->imageSize() : QSize();
    return linkLabelAutoSizeExtra(text, image, hasPictures(), isBlank(Caption()), m_imageTextSpace,
                                  m_imageBoarderSpace);
}

void TKLinkLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const bool selectedShown = m_selected && m_showSelected;
    if ((m_hot || selectedShown) && m_showFrame) {
        painter.fillRect(rect(), selectedShown ? m_colorFrameSelected : m_colorFrameHot);
        const int w = width(), h = height();
        painter.fillRect(QRect(0, 0, w, 1), m_colorFrame);
        painter.fillRect(QRect(0, h - 1, w, 1), m_colorFrame);
        painter.fillRect(QRect(0, 0, 1, h), m_colorFrame);
        painter.fillRect(QRect(w - 1, 0, 1, h), m_colorFrame);
    } else if (!Transparent()) {
        painter.fillRect(rect(), Color());
    }

    LinkLabelMetrics metrics;
    metrics.client = size();
    if (Layout() != tlTop)
        metrics.text = textExtent();
    metrics.image = m_imageList ? m_imageList->imageSize() : QSize();
    metrics.hasPictures = hasPictures();
    metrics.imageTop = m_imageTop;
    metrics.layout = Layout();
    metrics.imageTextSpace = m_imageTextSpace;
    metrics.imageBoarderSpace = m_imageBoarderSpace;
    const LinkLabelPlacement place = placeLinkLabel(metrics);

    drawCaption(painter, place.textRect, textFlags());
    if (metrics.hasPictures)
        m_imageList->Draw(painter, place.imagePos.x(), place.imagePos.y(), currentImageIndex());
}

void TKLinkLabel::enterEvent(QEnterEvent *event)
{
    if (isEnabled() && !m_hot) {
        m_hot = true;
        if (m_underlineHot) {
            m_underlinedBeforeHot = font().underline();
            QFont underlined = font();
            underlined.setUnderline(true);
            setFont(underlined);
        }
        m_colorBeforeHot = FontColor();
        setFontColor(m_colorHot);
    }
    TKCustomLabel::enterEvent(event);
}

void TKLinkLabel::leaveEvent(QEvent *event)
{
    // Undone whenever the label was hot, also when it was disabled meanwhile,
    // so a re-enabled label does not keep the hover look.
    if (m_hot) {
        m_hot = false;
        if (m_underlineHot && !m_underlinedBeforeHot) {
            QFont plain = font();
            plain.setUnderline(false);
            setFont(plain);
        }
        setFontColor(m_visited ? m_colorVisited : m_colorBeforeHot);
    }
    TKCustomLabel::leaveEvent(event);
}

void TKLinkLabel::mousePressEvent(QMouseEvent *event)
{
    setSelected(true);
    if (parentWidget() && m_showSelected) {
        // Only one selected label per window.
        for (TKLinkLabel *other : window()->findChildren<TKLinkLabel *>())
            if (other != this)
                other->setSelected(false);
    }
    m_pressed = true;
    TKCustomLabel::mousePressEvent(event);
    event->accept(); // a press on the label never reaches the panel beneath
}

void TKLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool wasPressed = m_pressed;
    m_pressed = false;
    update();
    TKCustomLabel::mouseReleaseEvent(event);
    event->accept();
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Click();
}

void TKLinkLabel::Click()
{
    setFontColor(m_colorVisited);
    m_visited = true;
    update();

    // The handler may close the window this label lives on.
    QPointer<TKLinkLabel> self(this);
    emit clicked();
    if (self && m_action)
        m_action->trigger();
    if (!self)
        return;

    widgets::WaitCursor wait;
    if (m_visitLink && OpenLink)
        OpenLink(m_url);
}

void TKLinkLabel::changeEvent(QEvent *event)
{
    TKCustomLabel::changeEvent(event);
    if (event->type() == QEvent::ParentChange && parentWidget())
        setFontColor(activeCaptionColour(palette()));
    else if (event->type() == QEvent::EnabledChange)
        update();
}

void TKLinkLabel::setAction(QAction *action)
{
    if (action == m_action)
        return;
    if (m_action) {
        disconnect(m_action, nullptr, this, nullptr);
        m_action->removeEventFilter(this);
    }
    m_action = action;
    if (!action)
        return;
    connect(action, &QAction::changed, this, &TKLinkLabel::actionChanged);
    action->installEventFilter(this); // the image index is a dynamic property
    actionChanged();
}

bool TKLinkLabel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_action && event->type() == QEvent::DynamicPropertyChange)
        actionChanged();
    return TKCustomLabel::eventFilter(watched, event);
}

void TKLinkLabel::actionChanged()
{
    if (!m_action)
        return;
    setCaption(m_action->text());
    setEnabled(m_action->isEnabled());
    setToolTip(m_action->toolTip());
    if (parentWidget())
        setVisible(m_action->isVisible());
    const QVariant image = m_action->property(ActionImageIndexProperty);
    const int index = image.isValid() ? image.toInt() : -1;
    m_images = {index, index, index, index};
    imagesChanged();
}

} // namespace widgets
