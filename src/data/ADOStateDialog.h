#pragma once
// TFMAdostate: the driver status report, a read-only text for the user to read.
// Created once at program start and shown modally over the main window.
#include "ActivatingDialog.h"

class QPlainTextEdit;
class QPushButton;

namespace data {

class TFMAdostate : public forms::ActivatingDialog {
    Q_OBJECT
public:
    // parent: the main window, on which the form is centred.
    explicit TFMAdostate(QWidget *parent = nullptr);

    QPlainTextEdit *Memo1;
    QPushButton *Button1; // "OK": default and cancel button
};

} // namespace data
