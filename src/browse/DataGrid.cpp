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
    painter->drawText(r, int(align), option.fontMetrics.elidedText(text, Qt::ElideRight, r.width()));
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
    if (!m_model || !m_model->table()->Active() || m_model->rowCount() == 0)
        return;
    engine::TableDataset *t = m_model->table();
    const int row = int(t->State() == engine::dsInsert ? m_model->rowCount() - 1 : t->RecNo() - 1);
    const int column = std::max(0, currentIndex().column());
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
    if (m_following || !m_model || !current.isValid() || current.row() == previous.row())
        return;
    engine::TableDataset *t = m_model->table();
    if (!t->Active())
        return;
    try {
        const qint64 at = t->State() == engine::dsInsert ? m_model->rowCount() - 1 : t->RecNo() - 1;
        if (current.row() != at) {
            // Leaving an unchanged new record drops it, as the grid always did.
            if (t->State() == engine::dsInsert && !t->Modified())
                t->Cancel();
            const qint64 from = t->RecNo() - 1;
            t->MoveBy(int(current.row() - from));
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
        if (index.row() != current)
            t->MoveBy(int(index.row() - current));
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
