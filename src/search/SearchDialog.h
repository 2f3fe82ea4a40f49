#pragma once
// TFMSuchen, the record search dialog: up to six conditions (field "gleich"
// value), joined by "und"/"oder", and two options. Modeless and on top; created
// once at program start.
#include "ActivatingDialog.h"

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace search {

class TFMSuchen : public forms::ActivatingDialog {
    Q_OBJECT
public:
    static constexpr int RowCount = 6;

    explicit TFMSuchen(QWidget *parent = nullptr);

    // Row r (0-based) is condition row r + 1: CBFields1 .. CBFields6 and so on.
    std::array<QComboBox *, RowCount> CBFields{};
    std::array<QLineEdit *, RowCount> Edits{};
    std::array<QLabel *, RowCount> Labels{};
    // The joiners of rows 2 .. 6 (CBOp2 .. CBOp6); row 1 has none, CBOp[0] is null.
    std::array<QComboBox *, RowCount> CBOp{};

    QGroupBox *GroupBox1; // "Suchen": the six rows
    QGroupBox *GroupBox2; // the two options
    QCheckBox *CHBCaseSensitive;
    QCheckBox *ChBExact;
    QPushButton *BTSuchen;
    QPushButton *BTSuchenNext;
    QPushButton *BTAbbrechen;
};

} // namespace search
