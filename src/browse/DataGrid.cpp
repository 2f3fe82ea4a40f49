#include "DataGrid.h"

#include "EngineError.h"
#include "GridPaint.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>

namespace browse {

namespace {
// Set on a cell editor once the user has typed into it.
constexpr const char *TypedProperty = "brisvelTyped";
} // namespace

GridDelegate::GridDelegate(DataGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

void GridDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool focused = index == m_grid->currentIndex() && m_grid->hasFocus();
    const CellColours colours = cellColours(m_grid->palette(), focused, m_grid->showColorGrid(), m_grid->gridTopOf(index));
    painter->save();
    painter->fillRect(option.rect, colours.background);
    painter->setPen(colours.text);
    const QString text = index.data(Qt::DisplayRole).toString();
    const QRect r = option.rect.adjusted(2, 0, -2, 0);
    const int field = m_grid->tableModel() ? m_grid->tableModel()->fieldOfColumn(index.column()) : -1;
    Qt::Alignment align = Qt::AlignVCenter | Qt::AlignLeft;
    if (field >= 0 && engine::isNumericType(m_grid->tableModel()->table()->FieldDefs().at(field).dataType))
        align = Qt::AlignVCenter | Qt::AlignRight;
    painter->drawText(r, int(align), cellText(option.fontMetrics, text, r.width()));
    painter->restore();
}

QWidget *GridDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    const TableModel *model = m_grid->tableModel();
    const int field = model ? model->fieldOfColumn(index.column()) : -1;
    QWidget *editor = nullptr;
    if (field >= 0 && engine::isTextBlobType(model->table()->FieldDefs().at(field).dataType)) {
        // A memo is edited whole, with its line breaks.
        auto *memo = new QPlainTextEdit(parent);
        memo->setObjectName(QStringLiteral("MemoEditor"));
        editor = memo;
        // setEditorData fills it with signals blocked: only the user's typing counts.
        QObject::connect(memo, &QPlainTextEdit::textChanged, m_grid,
                         [grid = m_grid, memo, at = QPersistentModelIndex(index)] {
                             memo->setProperty(TypedProperty, true);
                             grid->typingStarted(at);
                         });
    } else {
        auto *line = new QLineEdit(parent);
        line->setFrame(false);
        if (field >= 0) {
            const engine::FieldDef &def = model->table()->FieldDefs().at(field);
            if (def.dataType == engine::ftString && def.size > 0)
                line->setMaxLength(def.size);
        }
        // Typing starts the edit at once, so the record indicator, the post and
        // cancel commands and Escape know that the record is being changed.
        QObject::connect(line, &QLineEdit::textEdited, m_grid,
                         [grid = m_grid, line, at = QPersistentModelIndex(index)] {
                             line->setProperty(TypedProperty, true);
                             grid->typingStarted(at);
                         });
        editor = line;
    }
    QPalette p = editor->palette();
    p.setColor(QPalette::Base, editorBackground(m_grid->palette(), m_grid->showColorGrid(), m_grid->gridRowOf(index)));
    editor->setPalette(p);
    editor->setAutoFillBackground(true);
    return editor;
}

void GridDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    // While the record is being changed, the user's typing stays in the editor:
    // the refresh that follows the start of the edit must not overwrite it.
    // After a cancel the editor shows the record's value again.
    const TableModel *model = m_grid->tableModel();
    const bool changing = model && model->table()->Active()
                          && (model->table()->State() == engine::dsEdit || model->table()->State() == engine::dsInsert);
    if (changing && editor->property(TypedProperty).toBool())
        return;
    editor->setProperty(TypedProperty, false);
    const QString text = index.data(Qt::EditRole).toString();
    const QSignalBlocker quiet(editor);
    if (auto *memo = qobject_cast<QPlainTextEdit *>(editor))
        memo->setPlainText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    else if (auto *line = qobject_cast<QLineEdit *>(editor))
        line->setText(text);
}

void GridDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    if (auto *memo = qobject_cast<QPlainTextEdit *>(editor)) {
        QString text = memo->toPlainText();
        // Memos keep the line breaks dBASE and DOS programs write.
        const QString old = index.data(Qt::EditRole).toString();
        if (old.contains(QLatin1String("\r\n")) || !old.contains(QLatin1Char('\n')))
            text.replace(QLatin1String("\n"), QLatin1String("\r\n"));
        model->setData(index, text, Qt::EditRole);
    } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
        model->setData(index, line->text(), Qt::EditRole);
    }
}

void GridDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    QRect r = option.rect;
    if (qobject_cast<QPlainTextEdit *>(editor))
        r.setHeight(std::max(r.height() * 5, 90));
    editor->setGeometry(r);
}

DataGrid::DataGrid(QWidget *parent) : QTableView(parent)
{
    setObjectName(QStringLiteral("DBGrid1"));
    setItemDelegate(new GridDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::CurrentChanged | QAbstractItemView::DoubleClicked
                    | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    setTabKeyNavigation(true);
    setShowGrid(true);
    setWordWrap(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(RowPitch);
    verticalHeader()->setMinimumSectionSize(RowPitch);
    verticalHeader()->setFixedWidth(14);
    horizontalHeader()->setFixedHeight(RowPitch);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setHighlightSections(false);
    // The focus may leave from the cell editor, which the grid's own focus-out
    // never sees.
    connect(qApp, &QApplication::focusChanged, this, &DataGrid::focusMoved);
    confirmDelete = [this](const QString &question) {
        return QMessageBox::question(this, QApplication::applicationName(), question,
                                     QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    };
}

void DataGrid::setTableModel(TableModel *model)
{
    m_model = model;
    setModel(model);
    if (model) {
        // Every change of the table (append, delete, a count that grew) passes here.
        connect(model, &QAbstractItemModel::headerDataChanged, this, [this](Qt::Orientation o) {
            if (o == Qt::Vertical)
                syncScrollBar();
        });
        connect(model, &QAbstractItemModel::modelReset, this, &DataGrid::syncScrollBar);
    }
    fitWindowSize();
}

int DataGrid::rowsOnScreen() const
{
    return std::max(1, viewport()->height() / RowPitch);
}

void DataGrid::fitWindowSize()
{
    // The window covers the screen and a little more, so that a row cut off at
    // the bottom and a taller grid need no new rows at once.
    if (m_model)
        m_model->setWindowSize(std::max(128, rowsOnScreen() + 2));
}

qint64 DataGrid::currentPosition() const
{
    engine::TableDataset *t = m_model->table();
    return t->State() == engine::dsInsert ? m_model->recordRows() - 1 : t->RecNo() - 1;
}

void DataGrid::syncScrollBar()
{
    QScrollBar *bar = verticalScrollBar();
    const qint64 rows = m_model ? m_model->recordRows() : 0;
    const int fit = rowsOnScreen();
    m_adjusting = true;
    bar->setRange(0, int(std::clamp<qint64>(rows - fit, 0, std::numeric_limits<int>::max())));
    bar->setPageStep(fit);
    bar->setSingleStep(1);
    bar->setValue(int(std::min<qint64>(m_model ? m_model->windowTop() : 0, std::numeric_limits<int>::max())));
    m_adjusting = false;
}

void DataGrid::moveWindow(qint64 top)
{
    if (!m_model)
        return;
    const qint64 rows = m_model->recordRows();
    top = std::clamp<qint64>(top, 0, std::max<qint64>(0, rows - rowsOnScreen()));
    if (top == m_model->windowTop()) {
        syncScrollBar();
        return;
    }
    const bool active = m_model->table()->Active();
    const qint64 position = active ? currentPosition() : -1;
    const int column = std::max(0, currentIndex().isValid() ? currentIndex().column() : m_column);
    m_following = true;
    // The open cell editor hands its text to its record before the rows
    // change meaning.
    if (currentIndex().isValid())
        setCurrentIndex(QModelIndex());
    m_model->setWindowTop(top);
    const int row = m_model->rowOfPosition(position);
    if (row >= 0 && row < rowsOnScreen() + 1 && m_model->columnCount() > 0)
        setCurrentIndex(m_model->index(row, std::min(column, m_model->columnCount() - 1)));
    m_following = false;
    syncScrollBar();
}

void DataGrid::commitEditor()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    // Cell editors are the viewport's own children; commitData ignores any
    // other widget.
    const auto editors = viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *editor : editors)
        if (editor->isVisible())
            commitData(editor);
}

void DataGrid::showFromRecord(qint64 position)
{
    moveWindow(position);
}

void DataGrid::updateGeometries()
{
    // Qt lays out the rows of the window; the bar's record count is set after.
    m_adjusting = true;
    verticalScrollBar()->setValue(0);
    m_adjusting = false;
    QTableView::updateGeometries();
    syncScrollBar();
}

void DataGrid::scrollContentsBy(int dx, int dy)
{
    Q_UNUSED(dy)
    if (dx != 0)
        QTableView::scrollContentsBy(dx, 0);
    if (m_adjusting || !m_model)
        return;
    if (verticalScrollBar()->value() != m_model->windowTop())
        moveWindow(verticalScrollBar()->value());
}

void DataGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    // Rows come on screen by moving the window (followTable); Qt scrolls
    // only the columns here.
    m_adjusting = true;
    verticalScrollBar()->setValue(0);
    QTableView::scrollTo(index, hint);
    m_adjusting = false;
    syncScrollBar();
}

void DataGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    fitWindowSize();
    syncScrollBar();
}

QModelIndex DataGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    if (!m_model || !m_model->table()->Active() || m_model->recordRows() == 0 || m_model->columnCount() == 0)
        return QTableView::moveCursor(cursorAction, modifiers);
    const qint64 rows = m_model->recordRows();
    const qint64 from = currentPosition();
    const int fit = rowsOnScreen();
    int column = currentIndex().isValid() ? currentIndex().column() : std::max(0, m_column);
    qint64 target = from;
    switch (cursorAction) {
    case MoveUp: target = from - 1; break;
    case MoveDown: target = from + 1; break;
    case MovePageUp: target = from - fit; break;
    case MovePageDown: target = from + fit; break;
    case MoveHome:
    case MoveEnd:
        if (modifiers & Qt::ControlModifier) {
            target = cursorAction == MoveHome ? 0 : rows - 1;
            break;
        }
        [[fallthrough]];
    default: {
        // Across the columns (and, with Tab, on to the next row) as Qt does it.
        const QModelIndex next = QTableView::moveCursor(cursorAction, modifiers);
        if (!next.isValid())
            return next;
        target = m_model->positionOfRow(next.row());
        column = next.column();
        break;
    }
    }
    target = std::clamp<qint64>(target, 0, rows - 1);
    const qint64 top = m_model->windowTop();
    if (target >= top && target < top + fit)
        return m_model->index(int(target - top), column);
    // The record lies off screen: the table moves there and the window follows.
    engine::TableDataset *t = m_model->table();
    m_following = true;
    if (currentIndex().isValid())
        setCurrentIndex(QModelIndex()); // the editor's text goes to its record first
    m_following = false;
    m_column = column;
    try {
        if (t->State() == engine::dsInsert && !t->Modified())
            t->Cancel();
        target = std::min(target, m_model->recordRows() - 1);
        t->MoveBy(int(target - (t->RecNo() - 1)));
    } catch (const engine::EngineError &e) {
        report(e.message());
    }
    followTable();
    return currentIndex();
}

void DataGrid::setShowColorGrid(bool on)
{
    m_showColorGrid = on;
    viewport()->update();
}

int DataGrid::gridTopOf(const QModelIndex &index) const
{
    return visualRect(index).top() + horizontalHeader()->height();
}

int DataGrid::gridRowOf(const QModelIndex &index) const
{
    return visualRect(index).top() / RowPitch + 1;
}

void DataGrid::report(const QString &message)
{
    if (onError)
        onError(message);
}

void DataGrid::followTable()
{
    if (!m_model || !m_model->table()->Active() || m_model->recordRows() == 0 || m_model->columnCount() == 0)
        return;
    const qint64 position = currentPosition();
    const qint64 top = m_model->windowTop();
    const int fit = rowsOnScreen();
    if (position < top)
        moveWindow(position);
    else if (position >= top + fit)
        moveWindow(position - fit + 1);
    const int row = m_model->rowOfPosition(position);
    if (row < 0)
        return;
    const int column = std::max(0, currentIndex().isValid() ? currentIndex().column() : m_column);
    if (currentIndex().row() == row)
        return;
    m_following = true;
    setCurrentIndex(m_model->index(row, std::min(column, m_model->columnCount() - 1)));
    scrollTo(currentIndex());
    m_following = false;
}

void DataGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        m_column = current.column();
    if (m_following || !m_model || !current.isValid() || current.row() == previous.row())
        return;
    engine::TableDataset *t = m_model->table();
    if (!t->Active())
        return;
    try {
        const qint64 at = currentPosition();
        const qint64 to = m_model->positionOfRow(current.row());
        if (to != at) {
            // Leaving an unchanged new record drops it, as the grid always did.
            if (t->State() == engine::dsInsert && !t->Modified())
                t->Cancel();
            const qint64 from = t->RecNo() - 1;
            t->MoveBy(int(to - from));
        }
    } catch (const engine::EngineError &e) {
        report(e.message());
        m_following = true;
        followTable();
        m_following = false;
    }
}

void DataGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F12) {
        if (onF12)
            onF12();
        return;
    }
    if (event->key() == Qt::Key_Delete && (event->modifiers() & Qt::ControlModifier)) {
        if (m_model && m_model->table()->Active() && confirmDelete(QStringLiteral("Datensatz löschen?"))) {
            try {
                m_model->table()->Delete();
            } catch (const engine::EngineError &e) {
                report(e.message());
            }
        }
        return;
    }
    if (event->key() == Qt::Key_Escape && m_model && m_model->table()->Active()
        && (m_model->table()->State() == engine::dsEdit || m_model->table()->State() == engine::dsInsert)) {
        m_model->table()->Cancel();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DataGrid::typingStarted(const QModelIndex &index)
{
    if (!m_model || !index.isValid())
        return;
    engine::TableDataset *t = m_model->table();
    if (!t->Active() || t->State() != engine::dsBrowse)
        return;
    try {
        const qint64 current = t->RecNo() - 1;
        const qint64 position = m_model->positionOfRow(index.row());
        if (position != current)
            t->MoveBy(int(position - current));
        t->Edit();
    } catch (const engine::EngineError &e) {
        report(e.message());
    }
}

void DataGrid::focusMoved(QWidget *old, QWidget *now)
{
    if (!old || !now || now->window() != window() || (old != this && !isAncestorOf(old)))
        return;
    if (now == this || isAncestorOf(now) || !m_model || !m_model->table()->Active())
        return;
    engine::TableDataset *t = m_model->table();
    // Leaving the grid cancels a new record nothing was typed into. The cell
    // editor has handed its text to the record by now (on its focus-out).
    if (t->State() == engine::dsInsert && !t->Modified()) {
        try {
            t->Cancel();
        } catch (const engine::EngineError &e) {
            report(e.message());
        }
    }
}

} // namespace browse
