#pragma once
// TFMAbout: the About box. A frameless white box, always on top, with the
// program icon, the product logo, "Database Table Viewer", version and build of
// the running program, the maker's logo and notice. Where the window system
// can show translucency it casts a shadow and, on a fast processor, fades in
// and out. A click anywhere closes it.
#include <QDialog>
#include <memory>
#include <optional>
#include <vector>

class QFrame;
class QTimer;

namespace version {
class VersionResourceReader;
}

namespace widgets {

class TKVersionLabel;

// What the box takes from the program, so tests can choose it.
struct AboutBoxContext {
    // The window system shows translucent windows (IsWindowsXP).
    bool translucency = false;
    // The processor clock in MHz.
    double processorSpeed = 500;
    // The main window's FirstActivation flag: the close timer runs only while
    // it is still set. Null: never.
    const bool *firstActivation = nullptr;
    // The version resource the labels read; null: the running program's.
    std::shared_ptr<version::VersionResourceReader> versionResource;
};

// Opacity step and number of steps of the fade.
struct AboutFade {
    int step = 0;
    int count = 0;
    bool operator==(const AboutFade &) const = default;
};
// The fade for a processor speed; none at or below 1000 MHz.
std::optional<AboutFade> aboutFadeFor(double processorSpeed);
// Opacity values of the fade-in: 0, step, 2 step, ... count × step.
std::vector<int> fadeInValues(const AboutFade &fade);
// Opacity values of the fade-out from the present value down to 0.
std::vector<int> fadeOutValues(const AboutFade &fade, int from);
// Top-left corner of a box of size box centred over owner.
QPoint centredOver(const QRect &owner, const QSize &box);

class TFMAbout : public QDialog {
    Q_OBJECT
public:
    static constexpr int BoxWidth = 461;
    static constexpr int BoxHeight = 270;
    static constexpr int CloseInterval = 2500;
    // Width of the shadow at the right and bottom edge.
    static constexpr int ShadowSize = 6;

    explicit TFMAbout(QWidget *parent, AboutBoxContext context);

    // The form is translucent (AlphaBlend) and fades.
    bool AlphaBlend() const { return m_alphaBlend; }
    int AlphaBlendValue() const { return m_alphaBlendValue; }
    std::optional<AboutFade> fade() const { return m_fade; }
    bool hasShadow() const { return m_shadow; }

    // Each activation: the close timer on the first one while the main window
    // has not been activated yet, then the fade-in.
    void FormActivate();

signals:
    void alphaBlendValueChanged(int value);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

public slots:
    // Every way of closing ends here: the fade-out, then the dialog ends.
    void done(int result) override;

private:
    void createItems();
    void setAlphaBlendValue(int value);
    void PAMainClick();

    AboutBoxContext m_context;
    QFrame *m_panel = nullptr;
    QTimer *m_timerClose = nullptr;
    bool m_shadow = false;
    bool m_alphaBlend = false;
    int m_alphaBlendValue = 255;
    std::optional<AboutFade> m_fade;
    bool m_activated = false;
    bool m_closing = false;
};

} // namespace widgets
