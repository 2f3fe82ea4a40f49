#pragma once
// TFMIndex: a new index (name, fields, options). Created at program start with
// the other forms; nothing opens it yet.
#include "ActivatingDialog.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace structure {

class TFMIndex : public forms::ActivatingDialog {
    Q_OBJECT
public:
    explicit TFMIndex(QWidget *parent = nullptr);

    QGroupBox *GroupBox1; // "Neuer Index"
    QLineEdit *Edit1;     // "Name:"
    QLineEdit *Edit2;     // "Felder:"
    QCheckBox *CHBPrim;
    QCheckBox *CHBUniq;
    QCheckBox *CHBDesc;
    QCheckBox *CHBCase;
    QCheckBox *CHBExpr;
    QPushButton *Button1; // "OK"
    QPushButton *Button2; // "&Abbrechen"

    // Empties both edits, clears every option and puts the focus into the name edit.
    void FormActivate() override;
};

} // namespace structure
