#pragma once
// TFMFields: a new field (name, type, size, decimals). Created at program start
// with the other forms; nothing opens it yet.
#include "ActivatingDialog.h"

#include <QStringList>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace structure {

// The type names both field dialogs offer.
QStringList fieldTypeNames();

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
