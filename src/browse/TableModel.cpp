#include "TableModel.h"

#include "EngineError.h"
#include "ValueText.h"

#include <QRegularExpression>

namespace browse {

QString firstLine(const QString &text)
{
    const int end = text.indexOf(QRegularExpression(QStringLiteral("[\r\n]")));
    return end < 0 ? text : text.left(end) + QStringLiteral(" …");
}

TableModel::TableModel(engine::TableDataset *table, QObject *parent) : QAbstractTableModel(parent), m_table(table)
{
    connect(m_table, &engine::TableDataset::dataSetChanged, this, &TableModel::follow);
    connect(m_table, &engine::TableDataset::recordChanged, this, &TableModel::follow);
    connect(m_table, &engine::TableDataset::stateChanged, this, &TableModel::follow);
    refresh();
}

int TableModel::windowRows() const
{
    return int(std::clamp<qint64>(m_rows - m_top, 0, m_windowSize));
}

int TableModel::rowOfPosition(qint64 position) const
{
    return position >= m_top && position < m_top + m_shown ? int(position - m_top) : -1;
}

void TableModel::fitWindow()
{
    const int rows = m_hasColumns ? windowRows() : 0;
    if (rows > m_shown) {
        beginInsertRows(QModelIndex(), m_shown, rows - 1);
        m_shown = rows;
        endInsertRows();
    } else if (rows < m_shown) {
        beginRemoveRows(QModelIndex(), rows, m_shown - 1);
        m_shown = rows;
        endRemoveRows();
    }
}

void TableModel::setWindowTop(qint64 top)
{
    top = std::clamp<qint64>(top, 0, std::max<qint64>(0, m_rows - 1));
    if (top == m_top)
        return;
    m_top = top;
    fitWindow();
    if (m_shown > 0 && !m_columns.isEmpty())
        emit dataChanged(index(0, 0), index(m_shown - 1, int(m_columns.size() - 1)));
    if (m_shown > 0)
        emit headerDataChanged(Qt::Vertical, 0, m_shown - 1);
}

void TableModel::setWindowSize(int rows)
{
    rows = std::max(1, rows);
    if (rows == m_windowSize)
        return;
    m_windowSize = rows;
    fitWindow();
}

void TableModel::refresh()
{
    beginResetModel();
    m_rows = 0;
    m_top = 0;
    m_columns.clear();
    if (m_table->Active()) {
        m_rows = m_table->RecordCountEstimate() + (m_table->State() == engine::dsInsert ? 1 : 0);
        if (m_visible.isEmpty()) {
            for (int i = 0; i < m_table->FieldCount(); ++i)
                m_columns << i;
        } else {
            const QVector<engine::FieldDef> &defs = m_table->FieldDefs();
            for (const QString &name : std::as_const(m_visible)) {
                for (int f = 0; f < defs.size(); ++f) {
                    if (defs.at(f).name == name) {
                        m_columns << f;
                        break;
                    }
                }
            }
            if (m_columns.isEmpty()) {
                for (int i = 0; i < m_table->FieldCount(); ++i)
                    m_columns << i;
            }
        }
    }
    m_hasColumns = !m_columns.isEmpty();
    m_shown = m_hasColumns ? windowRows() : 0;
    endResetModel();
}

void TableModel::follow()
{
    const bool active = m_table->Active();
    const qint64 rows = active ? m_table->RecordCountEstimate() + (m_table->State() == engine::dsInsert ? 1 : 0) : 0;
    const bool shapeChanged = rows != m_rows || (active && m_hasColumns == false && m_table->FieldCount() > 0)
        || (!active && m_hasColumns);
    if (shapeChanged) {
        if (!active || rows == 0 || !m_hasColumns) {
            refresh();
            return;
        }
        // Rows added or removed at the end keep the view where it is.
        m_rows = rows;
        if (m_top >= m_rows)
            m_top = m_rows - 1;
        fitWindow();
    }
    if (m_shown > 0 && !m_columns.isEmpty())
        emit dataChanged(index(0, 0), index(m_shown - 1, int(m_columns.size() - 1)));
    emit headerDataChanged(Qt::Vertical, 0, std::max(0, m_shown - 1));
}

void TableModel::setVisibleFields(const QStringList &names)
{
    m_visible = names;
    refresh();
}

void TableModel::clearColumns()
{
    m_visible.clear();
    beginResetModel();
    m_columns.clear();
    m_hasColumns = false;
    m_rows = 0;
    m_top = 0;
    m_shown = 0;
    endResetModel();
}

int TableModel::fieldOfColumn(int column) const
{
    return column >= 0 && column < m_columns.size() ? m_columns.at(column) : -1;
}

int TableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

int TableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant TableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_table->Active() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    const int field = fieldOfColumn(index.column());
    if (field < 0)
        return QVariant();
    ++m_cellReads;
    try {
        const QString text = m_table->textAt(positionOfRow(index.row()), field);
        if (role == Qt::DisplayRole && engine::isTextBlobType(m_table->FieldDefs().at(field).dataType))
            return firstLine(text);
        return text;
    } catch (const engine::EngineError &e) {
        // Until the count is known the rows run to the file's last record,
        // past the last one that is not deleted: those rows stay blank.
        if (!m_table->RecordCountKnown())
            return QVariant();
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("#") + e.message()) : QVariant();
    }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || !m_table->Active())
        return QVariant();
    if (orientation == Qt::Horizontal) {
        const int field = fieldOfColumn(section);
        return field < 0 ? QVariant() : QVariant(m_table->FieldDefs().at(field).name);
    }
    // The record indicator: the current record, and what is being done with it.
    const qint64 current = m_table->State() == engine::dsInsert ? m_rows - 1 : m_table->RecNo() - 1;
    if (positionOfRow(section) != current)
        return QString();
    switch (m_table->State()) {
    case engine::dsEdit: return QStringLiteral("✎");
    case engine::dsInsert: return QStringLiteral("✱");
    default: return QStringLiteral("▶");
    }
}

Qt::ItemFlags TableModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    const int field = fieldOfColumn(index.column());
    if (field < 0 || !m_table->Active())
        return f;
    const engine::TFieldType type = m_table->FieldDefs().at(field).dataType;
    const bool binary = engine::isBlobType(type) && !engine::isTextBlobType(type);
    if (!m_table->ReadOnly() && m_table->CanModify() && !binary && type != engine::ftVarBytes
        && type != engine::ftBytes && type != engine::ftAutoInc)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !m_table->Active())
        return false;
    const int field = fieldOfColumn(index.column());
    if (field < 0)
        return false;
    // A row that is gone (a new record just cancelled, whose editor hands back
    // its text while the row is removed) takes nothing.
    const bool inserting = m_table->State() == engine::dsInsert;
    const qint64 position = positionOfRow(index.row());
    if (position >= m_table->RecordCountEstimate() + (inserting ? 1 : 0))
        return false;
    try {
        // Unchanged text leaves the record as it is: no edit state for a mere look.
        if (m_table->textAt(position, field) == value.toString())
            return false;
        const qint64 current = m_table->State() == engine::dsInsert ? m_rows - 1 : m_table->RecNo() - 1;
        if (position != current)
            m_table->MoveBy(int(position - current));
        if (m_table->State() == engine::dsBrowse)
            m_table->Edit();
        m_table->Fields(field)->setAsString(value.toString());
        return true;
    } catch (const engine::EngineError &e) {
        if (onError)
            onError(e.message());
        return false;
    }
}

} // namespace browse
