#include "AboutBox.h"
#include "WindowShadow.h"

#include "KVersionLabel.h"
#include "Pictures.h"
#include "VersionResource.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QTimer>

namespace widgets {

namespace {

const QColor Gray(0x80, 0x80, 0x80);
const QColor Silver(0xC0, 0xC0, 0xC0);

QLabel *pictureLabel(QWidget *parent, const char *name, const QRect &bounds, const QString &file)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(bounds);
    label->setPixmap(picture(file));
    return label;
}

QLabel *text(QWidget *parent, const char *name, const QString &caption)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Gray);
    label->setPalette(palette);
    return label;
}

} // namespace

std::optional<AboutFade> aboutFadeFor(double processorSpeed)
{
    if (processorSpeed > 3000)
        return AboutFade{1, 255};
    if (processorSpeed > 2500)
        return AboutFade{2, 127};
    if (processorSpeed > 2000)
        return AboutFade{3, 85};
    if (processorSpeed > 1500)
        return AboutFade{4, 63};
    // Fast enough to fade, in fewer steps; 51 × 5 ends fully opaque.
    if (processorSpeed > 1000)
        return AboutFade{5, 51};
    return std::nullopt;
}

std::vector<int> fadeInValues(const AboutFade &fade)
{
    std::vector<int> values;
    for (int i = 0; i <= fade.count; ++i)
        values.push_back(i * fade.step);
    return values;
}

std::vector<int> fadeOutValues(const AboutFade &fade, int from)
{
    std::vector<int> values;
    if (fade.step <= 0)
        return {0};
    for (int value = from - fade.step; value > 0; value -= fade.step)
        values.push_back(value);
    values.push_back(0);
    return values;
}

QPoint centredOver(const QRect &owner, const QSize &box)
{
    return {owner.x() + (owner.width() - box.width()) / 2, owner.y() + (owner.height() - box.height()) / 2};
}

TFMAbout::TFMAbout(QWidget *parent, AboutBoxContext context)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_context(std::move(context))
{
    setObjectName(QStringLiteral("FMAbout"));
    setModal(true);
    setFont(QFont(QStringLiteral("Tahoma"), 8));

    // CreateParams: the shadow where the window system can show it. Qt has
    // no class style for it; the box draws it in a see-through margin.
    QCoreApplication::processEvents();
    m_shadow = m_context.translucency;
    if (m_shadow)
        setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(BoxWidth + (m_shadow ? ShadowSize : 0), BoxHeight + (m_shadow ? ShadowSize : 0));
    createItems();

    // FormCreate: fully transparent until the first activation fades it in.
    QCoreApplication::processEvents();
    if (m_context.translucency && !m_alphaBlend) {
        m_fade = aboutFadeFor(m_context.processorSpeed);
        if (m_fade) {
            setAlphaBlendValue(0);
            m_alphaBlend = true;
        }
    }
}

void TFMAbout::createItems()
{
    m_panel = new QFrame(this);
    m_panel->setObjectName(QStringLiteral("PAMain"));
    m_panel->setGeometry(0, 0, BoxWidth, BoxHeight);
    m_panel->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_panel->setLineWidth(1);
    QPalette palette = m_panel->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Gray); // the border
    m_panel->setPalette(palette);
    m_panel->setAutoFillBackground(true);

    pictureLabel(m_panel, "IMIcon", {16, 16, 48, 48}, QStringLiteral("brisvel-48.png"));
    pictureLabel(m_panel, "IMLogo", {83, 40, 206, 18}, QStringLiteral("logo.png"));
    QLabel *label2 = text(m_panel, "Label2", QStringLiteral("Database Table Viewer"));
    label2->move(84, 60);
    label2->adjustSize();

    const auto versionLabel = [this](const char *name, version::TFileVersionPart part, const QString &prefix) {
        auto *label = new TKVersionLabel(m_panel);
        label->setObjectName(QLatin1String(name));
        label->setTransparent(true);
        if (m_context.versionResource)
            label->setVersionResourceReader(m_context.versionResource);
        // In the order the properties are stored: the part before the prefix
        // that recomputes the caption.
        label->setFileVersionPart(part);
        label->setVersionResource(version::vrFileVersion);
        label->setVersionResourceKey(QStringLiteral("FileVersion"));
        label->setInfoPrefix(prefix);
        return label;
    };
    TKVersionLabel *version1 = versionLabel("KVersionLabel1", version::fvAllNoBuild, QStringLiteral("Version:"));
    version1->setFontColor(Gray);
    version1->move(84, 76);
    TKVersionLabel *version2 = versionLabel("KVersionLabel2", version::fvBuild, QStringLiteral("Built:"));
    version2->setFontColor(Silver);
    version2->setAutoSize(false);
    version2->setAlignment(taRightJustify);
    version2->setGeometry(320, 76, 125, version1->height());

    pictureLabel(m_panel, "IMHalvorin", {295, 196, 150, 20}, QStringLiteral("halvorin.png"));
    QLabel *label3 = text(m_panel, "Label3",
                          QStringLiteral("Copyright © 2005-2026 Halvorin.\nAlle Rechte vorbehalten.\n"
                                         "brisvel ostrel ist eine Marke von Halvorin."));
    label3->setGeometry(188, 220, 257, 41);
    label3->setAlignment(Qt::AlignRight | Qt::AlignTop);
    label3->setWordWrap(true);

    m_timerClose = new QTimer(this);
    m_timerClose->setObjectName(QStringLiteral("TimerClose"));
    m_timerClose->setInterval(CloseInterval);
    m_timerClose->setSingleShot(true);
    connect(m_timerClose, &QTimer::timeout, this, &QWidget::close);

    // PAMainClick serves the panel and everything on it.
    m_panel->installEventFilter(this);
    for (QWidget *child : m_panel->findChildren<QWidget *>())
        child->installEventFilter(this);
}

void TFMAbout::setAlphaBlendValue(int value)
{
    m_alphaBlendValue = value;
    setWindowOpacity(value / 255.0);
    emit alphaBlendValueChanged(value);
}

bool TFMAbout::event(QEvent *event)
{
    const bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return handled;
}

void TFMAbout::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Without a window manager a window is never activated; the show stands in.
    QTimer::singleShot(0, this, [this] {
        if (isVisible())
            FormActivate();
    });
}

void TFMAbout::FormActivate()
{
    QCoreApplication::processEvents();
    // Only the first activation fades in; a later one (back from another
    // program) leaves the box as it is instead of blinking it out.
    if (!m_alphaBlend || m_activated || m_closing)
        return;
    m_activated = true;
    // A box shown before the main window's first activation closes by itself;
    // opened by the user it stays until clicked.
    if (m_context.firstActivation && *m_context.firstActivation)
        m_timerClose->start();
    QCoreApplication::processEvents();
    for (int value : fadeInValues(*m_fade)) {
        if (m_closing)
            return; // clicked during the fade: the fade-out has taken over
        setAlphaBlendValue(value);
        QCoreApplication::processEvents();
    }
}

void TFMAbout::PAMainClick()
{
    close();
}

bool TFMAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        PAMainClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFMAbout::done(int result)
{
    // FormClose: stop the timer and fade out from where the fade stands.
    if (!m_closing) {
        m_closing = true;
        if (m_alphaBlend) {
            m_timerClose->stop();
            for (int value : fadeOutValues(*m_fade, m_alphaBlendValue)) {
                setAlphaBlendValue(value);
                QCoreApplication::processEvents();
            }
        }
    }
    QDialog::done(result);
}

void TFMAbout::paintEvent(QPaintEvent *)
{
    if (!m_shadow)
        return;
    // The box's own items cover the box; its margin shows the shadow.
    QPainter painter(this);
    paintSoftShadow(painter, QSize(BoxWidth, BoxHeight), ShadowSize, false);
}

} // namespace widgets
