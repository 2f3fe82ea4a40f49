#pragma once
// The dialog base of the program's forms: where a form appears when it is shown
// (centred on the screen or on its parent window) and its FormActivate step,
// which runs when the form becomes the active window.
#include <QDialog>
#include <functional>

class QHBoxLayout;
class QPushButton;

namespace forms {

// The usual bottom row: "OK" (default, accepts) and "&Abbrechen" (rejects) at the
// right, named Button1 and Button2.
QHBoxLayout *okCancelButtons(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel);

class ActivatingDialog : public QDialog {
    Q_OBJECT
public:
    enum class Placement {
        ScreenCentre, // centred on the screen at every showing
        ParentCentre  // centred on the parent window at every showing (the screen without one)
    };
    enum class Activation {
        // FormActivate runs every time the form becomes the active window again,
        // also after the user switched to another program and back.
        EveryActivation,
        // FormActivate runs once per showing. For a modal form that opens dialogs
        // of its own: returning from them is not a new activation.
        OncePerShow
    };

    explicit ActivatingDialog(QWidget *parent = nullptr, Placement placement = Placement::ScreenCentre,
                              Activation activation = Activation::EveryActivation);

    Placement placement() const { return m_placement; }

    // The form's activation step; the base does nothing.
    virtual void FormActivate() {}

    // Runs after each FormActivate that an activation started, so that a test
    // can work the shown form (and close it) once it is ready.
    std::function<void()> AfterActivate;

    void setVisible(bool visible) override;

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void place();
    void runActivation();

    Placement m_placement;
    Activation m_activation;
    bool m_activationPending = false; // shown, FormActivate not run yet
    bool m_activeRun = false;         // FormActivate ran since the form last lost activation
};

} // namespace forms
