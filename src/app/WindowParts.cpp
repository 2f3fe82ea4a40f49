#include "WindowParts.h"

#include "ADOOpenDialog.h"
#include "AboutBox.h"
#include "ADOStateDialog.h"
#include "AppWindows.h"
#include "FilterDialog.h"
#include "KImageList.h"
#include "KLinkLabel.h"
#include "MainWindow.h"
#include "SearchDialog.h"
#include "SettingsStore.h"
#include "SetupDialog.h"
#include "SharedTools.h"
#include "ToolbarSkin.h"

#include <QApplication>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace app {

AppSettings &currentSettings()
{
    static AppSettings settings;
    return settings;
}

ToolbarSkin &toolbarSkin()
{
    static ToolbarSkin *skin = new ToolbarSkin(qApp);
    return *skin;
}

void formCreate(TFMMain &)
{
    AppSettings &s = currentSettings();
    s.readSettings();
    s.applyTo(toolbarSkin());
}

void registerSkinTargets(QMenuBar *menuBar, QToolBar *toolBar)
{
    toolbarSkin().registerMenuBar(menuBar);
    toolbarSkin().registerToolBar(toolBar);
}

void runSettingsMode(TFMMain &, const std::function<void()> &repaintGrid)
{
    AppWindows *windows = AppWindows::instance();
    if (!windows || !windows->FMsetup)
        return;
    windows->FMsetup->attach(&currentSettings(), &toolbarSkin(), repaintGrid);
    app::runSettingsMode(*windows->FMsetup);
}

bool runPrintMode(TFMMain &, bool printCaption, const std::function<void()> &repaintGrid)
{
    AppWindows *windows = AppWindows::instance();
    if (!windows || !windows->FMsetup)
        return false;
    windows->FMsetup->attach(&currentSettings(), &toolbarSkin(), repaintGrid);
    return app::runPrintMode(*windows->FMsetup, printCaption);
}

void restorePlacement(QWidget *window)
{
    WindowPlacement().restore(window);
}

void savePlacement(QWidget *window)
{
    WindowPlacement().save(window);
}

void showDefaultError(const QString &message)
{
    ShowDefaultErrorBox(message);
}

bool askYesNo(const QString &question)
{
    return AskYesNo(question);
}

void installTablesChooser(data::TKADOopen &descriptor, QWidget *parent)
{
    // Errors of the dialog's file branch go to the program's default error box.
    data::installTablesDialog(descriptor, parent, [](data::TFMADOOpenDialog &dialog) {
        dialog.ErrorHook = [](const QString &message) { ShowDefaultErrorBox(message); };
        return dialog.exec();
    });
}

widgets::TKLinkLabel *makeWindowButton(QWidget *parent, WindowButton kind)
{
    static widgets::TKImageList *images = widgets::WindowIconImages(qApp);
    auto *label = new widgets::TKLinkLabel(parent);
    // A fixed 16 x 16 button: no growing with the hover underline.
    label->setAutoSize(false);
    // The picture's clear parts show the title panel under it, not a plate.
    label->setTransparent(true);
    label->setCaption(QStringLiteral(" "));
    label->setImageList(images);
    switch (kind) {
    case WindowButton::Minimize:
        label->setImageIndex(widgets::wiMinimizeNormal);
        label->setImageIndexHot(widgets::wiMinimizeHot);
        label->setImageIndexPressed(widgets::wiMinimizePressed);
        label->setImageIndexDisabled(widgets::wiMinimizeHot);
        break;
    case WindowButton::Maximize:
        label->setImageIndex(widgets::wiMaximizeNormal);
        label->setImageIndexHot(widgets::wiMaximizeHot);
        label->setImageIndexPressed(widgets::wiMaximizePressed);
        label->setImageIndexDisabled(widgets::wiMaximizeHot);
        break;
    case WindowButton::Close:
        label->setImageIndex(widgets::wiCloseNormal);
        label->setImageIndexHot(widgets::wiCloseHot);
        label->setImageIndexPressed(widgets::wiClosePressed);
        label->setImageIndexDisabled(widgets::wiCloseHot);
        break;
    }
    return label;
}

void connectWindowButton(widgets::TKLinkLabel *label, WindowButton kind, QWidget *window)
{
    QObject::connect(label, &widgets::TKLinkLabel::clicked, window, [window, kind] {
        switch (kind) {
        case WindowButton::Minimize:
            window->showMinimized();
            break;
        case WindowButton::Maximize:
            if (window->isMaximized())
                window->showNormal();
            else
                window->showMaximized();
            break;
        case WindowButton::Close:
            window->close();
            break;
        }
    });
}

QPixmap programIcon(int size)
{
    // A small table: a header band and rows, drawn so no picture file is needed.
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(2, 4, size - 4, size - 8);
    p.setPen(QPen(QColor(220, 230, 245), 1.5));
    p.setBrush(QColor(250, 252, 255));
    p.drawRoundedRect(r, 3, 3);
    p.fillRect(QRectF(r.left() + 1, r.top() + 1, r.width() - 2, r.height() / 4), QColor(70, 120, 190));
    p.setPen(QColor(150, 170, 200));
    for (int i = 1; i < 4; ++i) {
        const qreal y = r.top() + r.height() / 4 + i * (r.height() * 3 / 4) / 4;
        p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
    }
    p.drawLine(QPointF(r.left() + r.width() / 3, r.top() + r.height() / 4), QPointF(r.left() + r.width() / 3, r.bottom() - 2));
    return pixmap;
}

QPixmap productLogo(const QSize &size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(size.height() - 3);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(QPoint(0, 0), size), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("brisvel ostrel"));
    return pixmap;
}

void showAbout(TFMMain &window)
{
    widgets::AboutBoxContext context;
    context.translucency = IsWindowsXP();
    context.processorSpeed = window.ProcessorSpeed;
    context.firstActivation = &window.FirstActivation;
    // A new box each time, freed when it closes.
    auto *box = new widgets::TFMAbout(&window, context);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->move(widgets::centredOver(window.frameGeometry(),
                                   QSize(widgets::TFMAbout::BoxWidth, widgets::TFMAbout::BoxHeight)));
    box->exec();
}

void showDriverStatus(TFMMain &)
{
    AppWindows *windows = AppWindows::instance();
    if (windows && windows->FMAdostate)
        windows->FMAdostate->exec();
}

void closeSearchDialog()
{
    AppWindows *windows = AppWindows::instance();
    if (windows && windows->FMSuchen)
        windows->FMSuchen->close();
}

void clearFilterExpression()
{
    AppWindows *windows = AppWindows::instance();
    if (windows && windows->FMFilter)
        windows->FMFilter->Edit1->clear();
}

} // namespace app
