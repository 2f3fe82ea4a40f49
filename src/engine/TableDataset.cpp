#include "TableDataset.h"

#include "Connection.h"
#include "EngineError.h"
#include "FilterExpression.h"
#include "FilterWalk.h"
#include "ValueText.h"
#include "common/Quoting.h"

#include <QRegularExpression>
#include <atomic>
#include <utility>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace engine {

// ---------------------------------------------------------------- Field

const FieldDef &Field::def() const
{
    return m_dataset->FieldDefs().at(m_index);
}

QVariant Field::Value() const
{
    return m_dataset->currentValue(m_index);
}

QString Field::AsString() const
{
    return m_dataset->currentText(m_index);
}

qlonglong Field::AsInteger() const
{
    const QVariant v = Value();
    if (!v.isValid())
        return 0;
    if (v.typeId() == QMetaType::QString) {
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        if (!ok)
            throw EngineError(ErrorKind::RefusedValue, msg::invalidInteger(v.toString()));
        return n;
    }
    return v.toLongLong();
}

double Field::AsFloat() const
{
    const QVariant v = Value();
    if (!v.isValid())
        return 0.0;
    if (v.typeId() == QMetaType::QString)
        return parseValue(v.toString(), ftFloat).toDouble();
    return v.toDouble();
}

bool Field::AsBoolean() const
{
    const QVariant v = Value();
    if (!v.isValid())
        return false;
    if (v.typeId() == QMetaType::QString)
        return parseValue(v.toString(), ftBoolean).toBool();
    return v.toBool();
}

bool Field::IsNull() const
{
    const QVariant v = Value();
    return !v.isValid() || v.isNull();
}

void Field::setValue(const QVariant &value)
{
    m_dataset->setCurrentValue(m_index, value);
}

void Field::setAsString(const QString &text)
{
    m_dataset->setCurrentValue(m_index, parseValue(text, DataType()));
}

// ---------------------------------------------------------------- IndexDefs

int IndexDefs::IndexOf(const QString &name) const
{
    for (int i = 0; i < m_items.size(); ++i) {
        if (m_items.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void IndexDefs::Update()
{
    if (m_dataset && m_dataset->m_source)
        m_items = m_dataset->m_source->indexDefs();
}

// ---------------------------------------------------------------- TableDataset

TableDataset::TableDataset(QObject *parent) : QObject(parent)
{
    m_indexDefs.m_dataset = this;
}

TableDataset::~TableDataset()
{
    stopCount();
    if (m_connection)
        m_connection->detach(this);
}

void TableDataset::fail(const QString &text, ErrorKind kind) const
{
    throw datasetError(Name(), text, kind);
}

// An index missing because its file is damaged is told as that damage, naming
// the file; "not found" would hide it behind the dataset's name.
void TableDataset::failMissingIndex(const QString &name, const TableSource *source) const
{
    const QString fault = source ? source->indexFault() : QString();
    if (!fault.isEmpty())
        throw EngineError(ErrorKind::Damaged, fault);
    fail(msg::indexNotFound(name), ErrorKind::NotFound);
}

void TableDataset::setConnection(Connection *connection)
{
    if (m_connection == connection)
        return;
    Close();
    if (m_connection)
        m_connection->detach(this);
    m_connection = connection;
    if (m_connection)
        m_connection->attach(this);
}

void TableDataset::setTableName(const QString &name)
{
    if (name == m_tableName)
        return;
    if (Active())
        fail(msg::openDataset());
    m_tableName = name;
}

void TableDataset::setTableDirect(bool direct)
{
    if (direct == m_tableDirect)
        return;
    if (Active())
        fail(msg::openDataset());
    m_tableDirect = direct;
}

QString TableDataset::CommandText() const
{
    if (m_tableDirect)
        return m_tableName;
    // A name the statement could misread is quoted, with "]" doubled inside.
    QString name = m_tableName;
    static const QRegularExpression plain(QStringLiteral("^[\\w.#$-]+$"));
    if (!plain.match(name).hasMatch())
        name = text::quoted(name, QLatin1Char('['), QLatin1Char(']'));
    return QStringLiteral("select * from ") + name;
}

void TableDataset::setReadOnly(bool readOnly)
{
    if (readOnly == m_readOnly)
        return;
    if (Active())
        fail(msg::openDataset());
    m_readOnly = readOnly;
}

QString TableDataset::ReadOnlyReason() const
{
    if (!m_source)
        return QString();
    return m_source->readOnlyReason();
}

bool TableDataset::CanModify() const
{
    return m_source && m_source->readOnlyReason().isEmpty();
}

void TableDataset::setIndexName(const QString &name)
{
    if (name == m_indexName)
        return;
    if (Active()) {
        checkBrowseMode();
        if (!name.isEmpty() && m_indexDefs.IndexOf(name) < 0)
            failMissingIndex(name, m_source.get());
        const QString previous = m_indexName;
        changeView([&] { m_indexName = name; }, [&] { m_indexName = previous; });
        return;
    }
    m_indexName = name;
}

void TableDataset::changeView(const std::function<void()> &change, const std::function<void()> &undo)
{
    if (!Active()) {
        change();
        return;
    }
    checkBrowseMode();
    change();
    try {
        buildView();
    } catch (...) {
        undo();
        buildView();
        throw;
    }
    // The new order or selection starts at its first record.
    m_position = 0;
    m_bof = true;
    m_eof = !hasRows();
    notifyDataSet();
    doAfterScroll();
}

void TableDataset::setFilter(const QString &filter)
{
    if (filter == m_filter)
        return;
    const QString previous = m_filter;
    if (!m_filtered || !Active()) {
        m_filter = filter;
        return;
    }
    changeView([&] { m_filter = filter; }, [&] { m_filter = previous; });
}

void TableDataset::setFiltered(bool filtered)
{
    if (filtered == m_filtered)
        return;
    changeView([&] { m_filtered = filtered; }, [&] { m_filtered = !filtered; });
}

void TableDataset::setFilterOptions(TFilterOptions options)
{
    if (options == m_filterOptions)
        return;
    const TFilterOptions previous = m_filterOptions;
    if (!m_filtered || !Active()) {
        m_filterOptions = options;
        return;
    }
    changeView([&] { m_filterOptions = options; }, [&] { m_filterOptions = previous; });
}

void TableDataset::buildView()
{
    m_view.reset();
    forgetRows();
    if (!m_indexName.isEmpty()) {
        const int i = m_indexDefs.IndexOf(m_indexName);
        m_view = m_source->indexOrder(i >= 0 ? m_indexDefs.Items(i).name : m_indexName);
    }
    if (!m_filtered || m_filter.trimmed().isEmpty()) {
        if (!m_view)
            startCount();
        return;
    }
    const FilterExpression expression = FilterExpression::parse(m_filter, m_source->fieldDefs());
    QVector<RowId> kept = keptRows(*m_source, expression, m_filterOptions, m_view ? &*m_view : nullptr);
    m_view = std::move(kept);
}

void TableDataset::followRow(RowId row, bool inserted)
{
    // Other rows' RowIds may have moved: an ordered or filtered view is built anew.
    forgetRows();
    if (m_view)
        buildView();
    qint64 position = -1;
    if (m_view) {
        position = m_view->indexOf(row);
        if (position < 0 && inserted) {
            m_view->append(row); // outside the filter: shown at the end until the view is rebuilt
            position = m_view->size() - 1;
        }
    } else {
        position = m_source->positionOf(row);
    }
    if (position >= 0)
        m_position = position;
    m_position = std::clamp<qint64>(m_position, 0, std::max<qint64>(0, positionCount() - 1));
}

RowId TableDataset::rowAtPosition(qint64 position)
{
    if (m_view) {
        if (position < 0 || position >= m_view->size())
            fail(QStringLiteral("Die Position %1 liegt außerhalb der Datenmenge").arg(position + 1), ErrorKind::NotFound);
        return m_view->at(position);
    }
    return m_source->rowAt(position);
}

void TableDataset::Open()
{
    if (Active())
        return;
    if (!m_connection)
        fail(QStringLiteral("Die Datenmenge hat keine Verbindung"));
    const QString name = m_tableDirect ? m_tableName : tableNameFromSelect(CommandText());
    if (name.trimmed().isEmpty())
        fail(QStringLiteral("Es ist kein Tabellenname angegeben"));
    OpenOptions options;
    options.readOnly = m_readOnly;
    std::unique_ptr<TableSource> source = m_connection->openTable(name, options);
    const QVector<IndexDef> indexes = source->indexDefs();
    if (!m_indexName.isEmpty()) {
        bool found = false;
        for (const IndexDef &def : indexes)
            found = found || def.name.compare(m_indexName, Qt::CaseInsensitive) == 0;
        if (!found)
            failMissingIndex(m_indexName, source.get());
    }
    m_indexDefs.m_items = indexes;
    m_source = std::move(source);
    try {
        buildView();
    } catch (...) {
        m_source.reset();
        m_view.reset();
        throw;
    }
    m_fields.clear();
    for (int i = 0; i < m_source->fieldDefs().size(); ++i)
        m_fields.push_back(std::make_unique<Field>(this, i));
    m_position = 0;
    m_bof = true;
    m_eof = !hasRows();
    m_modified = false;
    setState(dsBrowse);
    if (AfterOpen)
        AfterOpen(*this);
    if (!m_eof)
        doAfterScroll();
    notifyDataSet();
}

void TableDataset::Close()
{
    if (!Active())
        return;
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    stopCount();
    m_fields.clear();
    m_source.reset();
    m_view.reset();
    forgetRows();
    m_position = 0;
    m_bof = m_eof = true;
    setState(dsInactive);
    notifyDataSet();
}

const QVector<FieldDef> &TableDataset::FieldDefs() const
{
    static const QVector<FieldDef> none;
    return m_source ? m_source->fieldDefs() : none;
}

int TableDataset::FieldCount() const
{
    return int(m_fields.size());
}

Field *TableDataset::Fields(int index)
{
    checkActive();
    if (index < 0 || index >= FieldCount())
        fail(QStringLiteral("Feldindex %1 außerhalb des gültigen Bereichs").arg(index), ErrorKind::NotFound);
    return m_fields[size_t(index)].get();
}

Field *TableDataset::FindField(const QString &name)
{
    const QVector<FieldDef> &defs = FieldDefs();
    for (int i = 0; i < defs.size(); ++i) {
        if (defs.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return m_fields[size_t(i)].get();
    }
    return nullptr;
}

Field *TableDataset::FieldByName(const QString &name)
{
    Field *field = FindField(name);
    if (!field)
        fail(msg::fieldNotFound(name), ErrorKind::NotFound);
    return field;
}

QStringList TableDataset::GetFieldNames() const
{
    QStringList names;
    for (const FieldDef &def : FieldDefs())
        names << def.name;
    return names;
}

quint16 TableDataset::RecordSize() const
{
    if (!m_source)
        return 0;
    return quint16(std::min<quint32>(m_source->recordSize(), 0xFFFF));
}

void TableDataset::checkActive() const
{
    if (!Active())
        fail(msg::closedDataset());
}

void TableDataset::checkCanModify() const
{
    const QString reason = m_source->readOnlyReason();
    if (!reason.isEmpty())
        fail(reason);
}

void TableDataset::updateRecord()
{
    if (!UpdateRecord || m_updatingRecord || (m_state != dsEdit && m_state != dsInsert))
        return;
    m_updatingRecord = true;
    try {
        UpdateRecord(*this);
    } catch (...) {
        m_updatingRecord = false;
        throw;
    }
    m_updatingRecord = false;
}

void TableDataset::checkBrowseMode()
{
    checkActive();
    updateRecord();
    if (m_state == dsEdit || m_state == dsInsert) {
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

qint64 TableDataset::positionCount()
{
    // Counted once per open and after own changes; every move asks for it.
    if (!m_source)
        return 0;
    if (m_view)
        return m_view->size();
    if (m_countCache < 0) {
        // A caller that needs the count waits for the background's.
        const bool waited = m_countJob != nullptr;
        if (waited)
            collectCount(true);
        if (m_countCache < 0)
            m_countCache = m_source->rowCount();
        settlePlace();
        if (waited)
            QMetaObject::invokeMethod(this, [this] { announceCount(); }, Qt::QueuedConnection);
    }
    return m_countCache;
}

qint64 TableDataset::insertPosition()
{
    return countPending() ? m_source->countsInBackground()->rowCountAtMost() : positionCount();
}

bool TableDataset::placedLater(qint64 position)
{
    // While the count is made, the grid at the file's end (an insert, a record
    // appended meanwhile) would read every deletion flag up to there: those
    // rows stay blank until the count has placed them, and then are shown.
    if (!countPending() || (m_state != dsInsert && m_placeByEstimate < 0) || position == m_rowCachePosition)
        return false;
    return position >= m_source->countsInBackground()->rowsPlacedWithoutReading();
}

void TableDataset::settlePlace()
{
    const RowId row = std::exchange(m_placeByEstimate, -1);
    if (row < 0 || m_view || m_countCache < 0)
        return;
    const qint64 position = m_source->positionOf(row);
    if (position >= 0) {
        m_position = position;
        m_rowCache = row;
        m_rowCachePosition = position;
    }
}

// ---------------------------------------------------------------- background count

struct TableDataset::CountJob {
    quint64 serial = 0;
    std::unique_ptr<CountScan> scan;
    std::atomic<bool> stop{false};
    std::thread thread;
};

bool TableDataset::countPending() const
{
    return m_countJob && !m_view && m_countCache < 0;
}

bool TableDataset::RecordCountKnown() const
{
    return !countPending();
}

qint64 TableDataset::RecordCountEstimate()
{
    checkActive();
    if (countPending())
        return m_source->countsInBackground()->rowCountAtMost();
    return positionCount();
}

void TableDataset::startCount()
{
    if (!m_countInBackground || m_countJob || m_view || m_countCache >= 0 || !m_source)
        return;
    CountsInBackground *counter = m_source->countsInBackground();
    if (!counter || counter->rowCountKnown())
        return;
    std::unique_ptr<CountScan> scan = counter->countScan();
    if (!scan)
        return;
    static std::atomic<quint64> serials{0};
    auto job = std::make_shared<CountJob>();
    job->serial = ++serials;
    job->scan = std::move(scan);
    m_countJob = job;
    // The thread holds the job, not the dataset: the dataset joins it before
    // it goes, and a queued call to a dataset that is gone is dropped.
    job->thread = std::thread([this, raw = job.get()] {
        // The count yields to the thread that paints the first screen.
        setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), 10);
        raw->scan->run(raw->stop);
        QMetaObject::invokeMethod(this, [this, serial = raw->serial] { countFinished(serial); }, Qt::QueuedConnection);
    });
}

void TableDataset::stopCount()
{
    if (!m_countJob)
        return;
    m_countJob->stop = true;
    if (m_countJob->thread.joinable())
        m_countJob->thread.join();
    m_countJob.reset();
}

void TableDataset::collectCount(bool stopFirst)
{
    std::shared_ptr<CountJob> job = std::move(m_countJob);
    // A caller that waits stops the scan, which runs at a low priority, takes
    // the part it counted and counts the rest itself.
    if (stopFirst)
        job->stop = true;
    if (job->thread.joinable())
        job->thread.join();
    if (!m_source || m_view || m_countCache >= 0)
        return;
    CountsInBackground *counter = m_source->countsInBackground();
    // A count made before the table changed counts a table that is no more.
    if (counter && counter->adoptCount(*job->scan)) {
        m_countCache = m_source->rowCount();
        settlePlace();
    }
}

void TableDataset::countFinished(quint64 serial)
{
    if (!m_countJob || m_countJob->serial != serial)
        return; // taken over already, or stopped
    collectCount(false);
    // Dropped after a change: count the table as it is now.
    startCount();
    if (m_countCache >= 0)
        announceCount();
}

void TableDataset::announceCount()
{
    emit recordCountArrived();
    notifyDataSet();
}

bool TableDataset::hasRows()
{
    if (m_view)
        return !m_view->isEmpty();
    if (m_countCache >= 0)
        return m_countCache > 0;
    return !m_source->isEmpty();
}

RowId TableDataset::currentRow()
{
    if (m_rowCachePosition != m_position) {
        m_rowCache = rowAtPosition(m_position);
        m_rowCachePosition = m_position;
    }
    return m_rowCache;
}

void TableDataset::forgetRows()
{
    m_countCache = -1;
    m_rowCachePosition = -1;
    m_placeByEstimate = -1;
}

void TableDataset::setState(TDataSetState state)
{
    if (m_state == state)
        return;
    m_state = state;
    if (!ControlsDisabled())
        emit stateChanged();
}

void TableDataset::doAfterScroll()
{
    if (AfterScroll)
        AfterScroll(*this);
}

void TableDataset::notifyDataSet()
{
    if (ControlsDisabled()) {
        m_pendingChange = true;
        return;
    }
    emit dataSetChanged();
}

void TableDataset::notifyRecord()
{
    if (!ControlsDisabled())
        emit recordChanged();
}

void TableDataset::First()
{
    checkBrowseMode();
    m_placeByEstimate = -1;
    m_position = 0;
    m_bof = true;
    m_eof = !hasRows();
    notifyDataSet();
    doAfterScroll();
}

void TableDataset::Last()
{
    checkBrowseMode();
    const qint64 count = positionCount();
    m_position = count > 0 ? count - 1 : 0;
    m_eof = true;
    m_bof = count == 0;
    notifyDataSet();
    doAfterScroll();
}

void TableDataset::Next()
{
    MoveBy(1);
}

void TableDataset::Prior()
{
    MoveBy(-1);
}

int TableDataset::MoveBy(int distance)
{
    checkBrowseMode();
    // A move from a record appended meanwhile starts from its exact place.
    if (m_placeByEstimate >= 0)
        positionCount();
    qint64 count = 0;
    if (countPending() && distance <= 0) {
        // Backwards needs no count: only whether there are records at all.
        count = hasRows() ? m_position + 1 : 0;
    } else if (countPending()) {
        // Forwards reads no further than the move goes; running out of
        // records on the way is the count.
        const qint64 wanted = m_position + distance + 1;
        count = m_source->countsInBackground()->rowsUpTo(wanted);
        if (count < wanted) {
            stopCount();
            m_countCache = count;
            QMetaObject::invokeMethod(this, [this] { announceCount(); }, Qt::QueuedConnection);
        }
    } else {
        count = positionCount();
    }
    qint64 moved = 0;
    if (count == 0) {
        m_bof = m_eof = true;
    } else if (distance > 0) {
        const qint64 room = count - 1 - m_position;
        moved = std::min<qint64>(distance, room);
        m_position += moved;
        m_eof = moved < distance;
        if (moved > 0)
            m_bof = false;
    } else if (distance < 0) {
        const qint64 room = m_position;
        moved = -std::min<qint64>(-qint64(distance), room);
        m_position += moved;
        m_bof = -moved < -qint64(distance);
        if (moved < 0)
            m_eof = false;
    }
    notifyDataSet();
    doAfterScroll();
    return int(moved);
}

bool TableDataset::IsEmpty()
{
    checkActive();
    return m_state != dsInsert && !hasRows();
}

qint64 TableDataset::RecNo()
{
    if (!Active())
        return 0;
    if (m_state == dsInsert)
        return insertPosition() + 1;
    if (countPending())
        return hasRows() ? m_position + 1 : 0;
    const qint64 count = positionCount();
    return count == 0 ? 0 : m_position + 1;
}

qint64 TableDataset::RecordCount()
{
    checkActive();
    return positionCount();
}

QVariant TableDataset::currentValue(int field)
{
    checkActive();
    if (m_state == dsEdit || m_state == dsInsert)
        return m_buffer.value(field);
    if (!hasRows())
        return QVariant();
    return m_source->value(currentRow(), field);
}

QString TableDataset::currentText(int field)
{
    checkActive();
    if (m_state == dsEdit || m_state == dsInsert)
        return formatValue(m_buffer.value(field), FieldDefs().at(field).dataType);
    if (!hasRows())
        return QString();
    return m_source->text(currentRow(), field);
}

void TableDataset::validate(int field, const QVariant &value) const
{
    const FieldDef &def = FieldDefs().at(field);
    if (!value.isValid())
        return;
    if ((def.dataType == ftString || def.dataType == ftFixedChar || def.dataType == ftWideString)
        && def.size > 0 && value.toString().size() > def.size)
        fail(QStringLiteral("Der Text für das Feld '%1' ist zu lang: %2 Zeichen, erlaubt sind %3")
                 .arg(def.name).arg(value.toString().size()).arg(def.size),
             ErrorKind::RefusedValue);
}

void TableDataset::setCurrentValue(int field, const QVariant &value)
{
    checkActive();
    if (m_state != dsEdit && m_state != dsInsert)
        fail(msg::notEditing());
    validate(field, value);
    m_buffer[field] = value;
    m_modified = true;
    notifyRecord();
}

void TableDataset::Edit()
{
    checkActive();
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    if (!hasRows()) {
        Append();
        return;
    }
    checkCanModify();
    const RowId row = currentRow();
    m_original.resize(FieldCount());
    for (int i = 0; i < FieldCount(); ++i)
        m_original[i] = m_source->value(row, i);
    m_buffer = m_original;
    m_modified = false;
    setState(dsEdit);
    if (AfterEdit)
        AfterEdit(*this);
    notifyRecord();
}

void TableDataset::Append()
{
    checkBrowseMode();
    checkCanModify();
    m_original.clear();
    m_buffer = QVector<QVariant>(FieldCount());
    m_modified = false;
    m_bof = m_eof = false;
    setState(dsInsert);
    notifyDataSet();
    doAfterScroll();
}

void TableDataset::Post()
{
    checkActive();
    updateRecord();
    // Kinds that keep records in key order move a record whose key is new: the
    // cursor goes with it, which is a scroll for whoever follows the cursor.
    const bool keyOrdered = m_source->rowIdsShiftOnChange();
    // A new record's row is the insert row after the last one, whatever m_position says.
    const qint64 before = m_state == dsInsert ? -1 : m_position;
    if (m_state == dsEdit) {
        if (m_modified) {
            const RowId row = currentRow();
            m_source->update(row, m_original, m_buffer);
            if (keyOrdered)
                followRow(m_source->rowAfterUpdate(row), false);
        }
    } else if (m_state == dsInsert) {
        const RowId row = m_source->append(m_buffer);
        forgetRows();
        if (keyOrdered) {
            // The new record stands at its key's place.
            followRow(row, true);
        } else {
            // A new record stands at the end of an ordered view until the table is reopened.
            if (m_view)
                m_view->append(row);
            if (!m_view && countPending()) {
                // Its exact place needs the count: until the count arrives it
                // stands at the file's end, where the grid shows it.
                m_position = std::max<qint64>(0, m_source->countsInBackground()->rowCountAtMost() - 1);
                m_rowCache = row;
                m_rowCachePosition = m_position;
                m_placeByEstimate = row;
            } else {
                const qint64 position = m_view ? m_view->size() - 1 : m_source->positionOf(row);
                m_position = position >= 0 ? position : std::max<qint64>(0, positionCount() - 1);
            }
        }
    } else {
        return;
    }
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    setState(dsBrowse);
    notifyDataSet();
    if (keyOrdered && m_position != before)
        doAfterScroll();
    if (AfterPost)
        AfterPost(*this);
}

void TableDataset::Cancel()
{
    checkActive();
    const bool wasInserting = m_state == dsInsert;
    if (m_state != dsEdit && !wasInserting)
        return;
    m_buffer.clear();
    m_original.clear();
    m_modified = false;
    if (wasInserting) {
        // The record the insert started from is still the current one; while
        // the count is being made, its place is all there is to know.
        const qint64 count = countPending() ? (hasRows() ? m_position + 1 : 0) : positionCount();
        m_position = std::min<qint64>(m_position, count > 0 ? count - 1 : 0);
        m_bof = m_position == 0;
        m_eof = count == 0;
    }
    setState(dsBrowse);
    notifyDataSet();
    if (wasInserting)
        doAfterScroll();
    if (AfterCancel)
        AfterCancel(*this);
}

void TableDataset::Delete()
{
    checkActive();
    if (m_state == dsInsert) {
        Cancel();
        return;
    }
    if (!hasRows())
        fail(msg::emptyDataset());
    checkCanModify();
    if (m_state == dsEdit)
        Cancel();
    const RowId removed = currentRow();
    m_source->remove(removed);
    if (m_view && m_source->rowIdsShiftOnChange())
        buildView();
    else if (m_view)
        m_view->removeAt(m_position);
    forgetRows();
    const qint64 count = positionCount();
    if (count == 0) {
        m_position = 0;
        m_bof = m_eof = true;
    } else {
        m_position = std::min(m_position, count - 1);
        m_bof = m_eof = false;
    }
    notifyDataSet();
    doAfterScroll();
}

void TableDataset::DisableControls()
{
    ++m_disableCount;
}

void TableDataset::EnableControls()
{
    if (m_disableCount == 0)
        return;
    if (--m_disableCount == 0) {
        m_pendingChange = false;
        emit dataSetChanged();
    }
}

bool TableDataset::isBuffered(qint64 position)
{
    return (m_state == dsEdit && position == m_position) || (m_state == dsInsert && position == insertPosition());
}

QString TableDataset::textAt(qint64 position, int field)
{
    checkActive();
    if (isBuffered(position))
        return formatValue(m_buffer.value(field), FieldDefs().at(field).dataType);
    if (placedLater(position))
        return QString();
    return m_source->text(position == m_rowCachePosition ? m_rowCache : rowAtPosition(position), field);
}

QVariant TableDataset::valueAt(qint64 position, int field)
{
    checkActive();
    if (isBuffered(position))
        return m_buffer.value(field);
    if (placedLater(position))
        return QVariant();
    return m_source->value(position == m_rowCachePosition ? m_rowCache : rowAtPosition(position), field);
}

} // namespace engine
