#pragma once
// DBGrid1: the editable grid bound to the open table. Its current row is the
// table's current record; moving in the grid moves the table (posting a changed
// record), and the table's moves move the grid.
#include "TableModel.h"

#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>

namespace browse {

class DataGrid;

class GridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit GridDelegate(DataGrid *grid);
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    DataGrid *m_grid;
};

class DataGrid : public QTableView {
    Q_OBJECT
public:
    static constexpr int RowPitch = 18;

    explicit DataGrid(QWidget *parent = nullptr);

    void setTableModel(TableModel *model);
    TableModel *tableModel() const { return m_model; }

    bool showColorGrid() const { return m_showColorGrid; }
    void setShowColorGrid(bool on);

    // Puts the grid's current row on the table's current record.
    void followTable();
    // The grid's row number of a data row on screen: 1 for the first visible row.
    int gridRowOf(const QModelIndex &index) const;
    // The top of a cell in the grid's coordinates, title row included.
    int gridTopOf(const QModelIndex &index) const;

    // The user typed into the cell editor at index: a record in browse state
    // goes into edit state there.
    void typingStarted(const QModelIndex &index);

    // The grid's own question before Ctrl+Del deletes; answers true to delete.
    std::function<bool(const QString &)> confirmDelete;
    // F12 is the window's (it asks through its own box).
    std::function<void()> onF12;
    std::function<void(const QString &)> onError;

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void focusMoved(QWidget *old, QWidget *now);
    void report(const QString &message);
    TableModel *m_model = nullptr;
    bool m_showColorGrid = false;
    bool m_following = false;
};

} // namespace browse
