#pragma once
// TBSkin: the look shared by the main window's menu bar and standard toolbar.
// Skin type 0 is the plain look of the desktop style; 1 (Office XP) and 2
// (Windows XP) are style sheets, drawn in one of two colour sets.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QMenuBar;
class QToolBar;
class QWidget;

namespace app {

class ToolbarSkin : public QObject {
    Q_OBJECT
public:
    enum SkinType { stStandard = 0, stOfficeXP = 1, stWindowsXP = 2 };
    enum ColorSet { csOfficeXP = 0, csWindowsXP = 1 };

    explicit ToolbarSkin(QObject *parent = nullptr);

    // The widgets drawn in the skin (the menu bar, whose menus follow it, and
    // the standard toolbar); they get the current look at once.
    void registerMenuBar(QMenuBar *menuBar);
    void registerToolBar(QToolBar *toolBar);

    int skinType() const { return m_skinType; }
    int colorSet() const { return m_colorSet; }
    // Both apply at once. Values outside the known ones are kept but drawn as
    // the plain look or with the Office XP colours.
    void setSkinType(int skinType);
    void setColorSet(int colorSet);

    // The style sheet of the current look; empty for the plain look.
    QString styleSheet() const { return styleSheetFor(m_skinType, m_colorSet); }
    static QString styleSheetFor(int skinType, int colorSet);

signals:
    void changed();

private:
    void registerWidget(QWidget *widget);
    void apply();

    int m_skinType = stOfficeXP;
    int m_colorSet = csOfficeXP;
    QList<QPointer<QWidget>> m_widgets;
};

} // namespace app
