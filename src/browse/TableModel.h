#pragma once
// The grid's model over the open table: it reads only the rows the view asks
// for, edits through the dataset, and follows the dataset's changes.
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

private:
    void follow();
    qint64 m_rows = 0;
    QVector<int> m_columns;
    bool m_hasColumns = false;
    QStringList m_visible;
    engine::TableDataset *m_table;
    mutable qint64 m_cellReads = 0;
};

// The first line of a memo's text, as the grid cell shows it.
QString firstLine(const QString &text);

} // namespace browse
