#pragma once
// The grid's model over the open table: it reads only the rows the view asks
// for, edits through the dataset, and follows the dataset's changes.
// The model holds a window of the table's records, not all of them: its row r
// is the record at position windowTop() + r. A view keeps an entry for every
// model row (Qt's header sections), which at ten million records costs more
// time and memory than the rest of the program; the grid moves the window
// with its own scroll bar instead.
#include "TableDataset.h"

#include <QAbstractTableModel>
#include <functional>

namespace browse {

class TableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TableModel(engine::TableDataset *table, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

    // The fields shown, by field name, so that the choice holds for the
    // fields of that name in whatever table is open; names the table lacks are
    // left out, and when none is left every field is shown. Empty means every
    // field in order.
    void setVisibleFields(const QStringList &names);
    void clearColumns();
    // The field names chosen as columns; empty when the grid shows every field.
    const QStringList &visibleFields() const { return m_visible; }
    int fieldOfColumn(int column) const;
    engine::TableDataset *table() const { return m_table; }
    // How many times the view asked for a cell (for checks that only shown rows are read).
    qint64 cellReads() const { return m_cellReads; }

    // Errors while editing (a value the field refuses) go here, for the default error box.
    std::function<void(const QString &)> onError;

    // Re-reads the table's shape (after open, close, append, delete).
    void refresh();

    // The rows of the table in the present order (the new record included
    // while one is appended); rowCount() is the window's part of it.
    qint64 recordRows() const { return m_rows; }
    qint64 windowTop() const { return m_top; }
    // How many rows the window holds at most.
    int windowSize() const { return m_windowSize; }
    // The record position of a model row, and the model row of a position
    // (-1 outside the window).
    qint64 positionOfRow(int row) const { return m_top + row; }
    int rowOfPosition(qint64 position) const;
    // Moves the window to start at a record position (kept within the table).
    void setWindowTop(qint64 top);
    void setWindowSize(int rows);

private:
    void follow();
    // The rows the window shows for the present top, size and record count.
    int windowRows() const;
    // Brings the model's row count to windowRows(), rows added or removed at the end.
    void fitWindow();
    qint64 m_rows = 0;
    qint64 m_top = 0;
    int m_windowSize = 128;
    int m_shown = 0; // the model's row count as the view knows it
    QVector<int> m_columns;
    bool m_hasColumns = false;
    QStringList m_visible;
    engine::TableDataset *m_table;
    mutable qint64 m_cellReads = 0;
};

// The first line of a memo's text, as the grid cell shows it.
QString firstLine(const QString &text);

} // namespace browse
