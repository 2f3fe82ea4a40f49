#pragma once
// TFMGoto, the small go-to dialog: one number for "Gehe zu" and "Bewegen um".
// The caller sets caption and label text before every use; the text box keeps
// its text from one use to the next.
#include "ActivatingDialog.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace browse {

class TFMGoto : public forms::ActivatingDialog {
    Q_OBJECT
public:
    explicit TFMGoto(QWidget *parent = nullptr);

    QGroupBox *GroupBox1;
    QLabel *Label1;
    QLineEdit *Edit1;
    QPushButton *Button1; // "OK"
    QPushButton *Button2; // "&Abbrechen"

    // Selects the whole text of Edit1, so that typing replaces the previous entry.
    void FormActivate() override;
};

} // namespace browse
