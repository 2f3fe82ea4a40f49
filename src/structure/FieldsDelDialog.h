#pragma once
// TFMFieldsDel: the deletion of a field. Created at program start with the
// other forms; nothing opens it yet.
#include "ActivatingDialog.h"

class QComboBox;
class QGroupBox;
class QPushButton;

namespace structure {

class TFMFieldsDel : public forms::ActivatingDialog {
    Q_OBJECT
public:
    explicit TFMFieldsDel(QWidget *parent = nullptr);

    QGroupBox *GroupBox1; // "Feld löschen"
    QComboBox *CBFields;  // "Name:"
    QPushButton *Button1; // "OK"
    QPushButton *Button2; // "&Abbrechen"
};

} // namespace structure
