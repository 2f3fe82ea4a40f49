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
    // Hands the open cell editor's text to its record (the dataset asks before
    // it posts or leaves a record).
    void commitEditor();
    // How many rows fit wholly on screen.
    int rowsOnScreen() const;
    // Scrolls so that the record at this position (0-based, present order) is
    // the first row on screen, as far as the table goes; the current record
    // stays where it is.
    void showFromRecord(qint64 position);
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

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The vertical scroll bar counts records: its value is the window's top.
    void syncScrollBar();
    // Moves the model's window to start at top; the view's current cell
    // follows the current record, or is cleared while that is off screen.
    void moveWindow(qint64 top);
    // The record position of the current record, or of the new one being appended.
    qint64 currentPosition() const;
    void fitWindowSize();
    void focusMoved(QWidget *old, QWidget *now);
    void report(const QString &message);
    TableModel *m_model = nullptr;
    bool m_showColorGrid = false;
    bool m_following = false;
    bool m_adjusting = false;
    int m_column = 0; // the column the current cell had, kept while it is off screen // the scroll bar is being set, not moved by the user
};

} // namespace browse
