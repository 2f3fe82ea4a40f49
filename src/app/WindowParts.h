#pragma once
// What the main window takes from the other parts of the program: settings,
// message boxes, dialogs, window buttons and pictures. Kept in one place so the
// window itself reads as its own behaviour.
#include <QPixmap>
#include <QSize>
#include <functional>

class QMenuBar;
class QToolBar;
class QWidget;

namespace data {
class TKADOopen;
}
namespace widgets {
class TKLinkLabel;
}

namespace app {

class TFMMain;
struct AppSettings;
class ToolbarSkin;

// The settings in memory, read when the main window is created.
AppSettings &currentSettings();
// TBSkin: the shared skin of the menu bar and the standard toolbar.
ToolbarSkin &toolbarSkin();
// FormCreate's reading of the settings and applying the menu style.
void formCreate(TFMMain &window);
void registerSkinTargets(QMenuBar *menuBar, QToolBar *toolBar);
void runSettingsMode(TFMMain &window, const std::function<void()> &repaintGrid);
// The settings dialog in print mode, attached to the program's settings so
// that the font size taken over on OK is the one printing uses. True on OK.
bool runPrintMode(TFMMain &window, bool printCaption, const std::function<void()> &repaintGrid);

void restorePlacement(QWidget *window);
void savePlacement(QWidget *window);

void showDefaultError(const QString &message);
bool askYesNo(const QString &question);

// The open-table dialog as the descriptor's table chooser.
void installTablesChooser(data::TKADOopen &descriptor, QWidget *parent);

enum class WindowButton { Minimize, Maximize, Close };
widgets::TKLinkLabel *makeWindowButton(QWidget *parent, WindowButton kind);
void connectWindowButton(widgets::TKLinkLabel *label, WindowButton kind, QWidget *window);

QPixmap programIcon(int size);
QPixmap productLogo(const QSize &size);

// The About box, centred over the window and modal; a new one each time.
void showAbout(TFMMain &window);
// Dialogs that come with later work; the commands exist already.
void showDriverStatus(TFMMain &window);
void closeSearchDialog();
void clearFilterExpression();

} // namespace app
