#pragma once
// TFMAdostate: the driver status report, a read-only text for the user to read.
// Created once at program start and shown modally over the main window.
#include "ActivatingDialog.h"

class QPlainTextEdit;
class QPushButton;

namespace engine {
class Connection;
class TableDataset;
}

namespace data {

class TFMAdostate : public forms::ActivatingDialog {
    Q_OBJECT
public:
    // parent: the main window, on which the form is centred.
    explicit TFMAdostate(QWidget *parent = nullptr);

    QPlainTextEdit *Memo1;
    QPushButton *Button1; // "OK": default and cancel button

    // What the report describes: the main window's connection and table.
    void setSource(engine::Connection *connection, engine::TableDataset *dataset);
    // Rebuilds the whole report at every activation.
    void FormActivate() override;

private:
    engine::Connection *m_connection = nullptr;
    engine::TableDataset *m_dataset = nullptr;
};

} // namespace data
