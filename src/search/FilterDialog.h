#pragma once
// TFMFilter: the filter expression with its two options, and the fields the
// grid shows. Created once at program start and shown modally.
#include "ActivatingDialog.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace search {

class TFMFilter : public forms::ActivatingDialog {
    Q_OBJECT
public:
    explicit TFMFilter(QWidget *parent = nullptr);

    QGroupBox *GroupBox1; // "Filterbedingung"
    QLineEdit *Edit1;
    QCheckBox *CHBCase;
    QCheckBox *CHBPartial;
    QGroupBox *GroupBox2; // "Felder anzeigen"
    QListWidget *CHLBfields; // checkable entries, one per field
    QPushButton *Button1; // "OK"
    QPushButton *Button2; // "&Abbrechen"
    QPushButton *Button3; // "&Filter löschen"

    // Puts the focus into the expression edit and selects its whole text.
    void FormActivate() override;
    // "&Filter löschen": empties the expression and checks every field.
    void Button3Click();
};

} // namespace search
