#pragma once
// TFMFields: a new field (name, type, size, decimals). Created at program start
// with the other forms; nothing opens it yet.
#include "ActivatingDialog.h"

#include <QStringList>

class QComboBox;
class QDialog;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace structure {

// The type names both field dialogs offer.
QStringList fieldTypeNames();
// The editable type box both field dialogs show (objectName "CBFields"), nothing chosen.
QComboBox *fieldTypeBox(QWidget *parent);
// The field dialogs' frame: the group box above, OK and "&Abbrechen" below.
void layOutFieldDialog(QDialog *dialog, QGroupBox *box, QPushButton *&ok, QPushButton *&cancel, int height);

class TFMFields : public forms::ActivatingDialog {
    Q_OBJECT
public:
    explicit TFMFields(QWidget *parent = nullptr);

    QGroupBox *GroupBox1; // "Neues Feld"
    QLineEdit *EDName;    // "Name:"
    QComboBox *CBFields;  // "Typ:"
    QLineEdit *EDSize;    // "Größe:"
    QLineEdit *EDDez;     // "Dezimal:"
    QPushButton *Button1; // "OK"
    QPushButton *Button2; // "&Abbrechen"
};

} // namespace structure
