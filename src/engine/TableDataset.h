#pragma once
// The table dataset: one open table with a current record, moved and changed
// with the classic dataset operations (First, Next, Edit, Post, ...).
#include "Connection.h"
#include "Driver.h"
#include "EngineError.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

namespace engine {

class TableDataset;

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum TCursorLocation { clUseServer, clUseClient };
enum TCursorType { ctUnspecified, ctOpenForwardOnly, ctKeyset, ctDynamic, ctStatic };
enum TFilterOption { foCaseInsensitive = 0x01, foNoPartialCompare = 0x02 };
using TFilterOptions = int;

// A field of the open table, read and written through the current record.
class Field {
public:
    Field(TableDataset *dataset, int index) : m_dataset(dataset), m_index(index) {}

    const FieldDef &def() const;
    QString FieldName() const { return def().name; }
    TFieldType DataType() const { return def().dataType; }
    int Size() const { return def().size; }
    int FieldNo() const { return def().fieldNo; }
    int Index() const { return m_index; }

    QVariant Value() const;
    QString AsString() const;
    qlonglong AsInteger() const;
    double AsFloat() const;
    bool AsBoolean() const;
    bool IsNull() const;

    // Writing needs edit or insert state; text is parsed by the field's type.
    void setValue(const QVariant &value);
    void setAsString(const QString &text);
    void Clear() { setValue(QVariant()); }

private:
    TableDataset *m_dataset;
    int m_index;
};

class IndexDefs {
public:
    int Count() const { return int(m_items.size()); }
    const IndexDef &Items(int i) const { return m_items.at(i); }
    const QVector<IndexDef> &items() const { return m_items; }
    int IndexOf(const QString &name) const;
    // Re-reads the definitions from the open table.
    void Update();

private:
    friend class TableDataset;
    TableDataset *m_dataset = nullptr;
    QVector<IndexDef> m_items;
};

class TableDataset : public QObject {
    Q_OBJECT
public:
    using Event = std::function<void(TableDataset &)>;

    explicit TableDataset(QObject *parent = nullptr);
    ~TableDataset() override;

    // Name used in error messages ("TBView: ...").
    QString Name() const { return objectName(); }

    Connection *connection() const { return m_connection; }
    void setConnection(Connection *connection);

    QString TableName() const { return m_tableName; }
    void setTableName(const QString &name);
    bool TableDirect() const { return m_tableDirect; }
    void setTableDirect(bool direct);
    // What the engine is asked: the table name, or "select * from <name>".
    QString CommandText() const;

    bool ReadOnly() const { return m_readOnly; }
    void setReadOnly(bool readOnly);
    // True when the open table cannot be changed (asked for read-only, or the kind refuses).
    bool CanModify() const;
    // Why the open table cannot be changed, empty when it can.
    QString ReadOnlyReason() const;

    TCursorLocation CursorLocation() const { return m_cursorLocation; }
    void setCursorLocation(TCursorLocation l) { m_cursorLocation = l; }
    TCursorType CursorType() const { return m_cursorType; }
    void setCursorType(TCursorType t) { m_cursorType = t; }

    QString IndexName() const { return m_indexName; }
    void setIndexName(const QString &name);
    IndexDefs &indexDefs() { return m_indexDefs; }
    QString Filter() const { return m_filter; }
    // While the table is open, a new filter applies at once and moves to the first
    // record; a filter the engine cannot read is an error and changes nothing.
    void setFilter(const QString &filter);
    bool Filtered() const { return m_filtered; }
    void setFiltered(bool filtered);
    TFilterOptions FilterOptions() const { return m_filterOptions; }
    void setFilterOptions(TFilterOptions options);

    void Open();
    void Close();
    bool Active() const { return m_source != nullptr; }
    void setActive(bool active) { active ? Open() : Close(); }
    TDataSetState State() const { return m_state; }

    const QVector<FieldDef> &FieldDefs() const;
    int FieldCount() const;
    Field *Fields(int index);
    Field *FieldByName(const QString &name);
    Field *FindField(const QString &name);
    QStringList GetFieldNames() const;
    quint16 RecordSize() const;

    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    bool IsEmpty();
    // 1-based position of the current record in the present order and filter; 0 when empty.
    qint64 RecNo();
    // Waits for a count still being made in the background.
    qint64 RecordCount();

    // Whether the record count of the natural order may be made on another
    // thread while the first records already show (the window's choice; off
    // by default). Until it arrives the dataset moves without it: RecNo,
    // Next, MoveBy read no further than they go; Last and RecordCount wait.
    void setCountInBackground(bool on) { m_countInBackground = on; }
    bool CountInBackground() const { return m_countInBackground; }
    // False while the count is being made in the background.
    bool RecordCountKnown() const;
    // The count when known, else the most records there can be (the file's
    // records, deleted ones included): a range for a scroll bar meanwhile.
    qint64 RecordCountEstimate();

    void Append();
    void Insert() { Append(); }
    void Edit();
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return m_modified; }

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_disableCount > 0; }

    Event AfterOpen;
    Event AfterScroll;
    Event AfterEdit;
    // After a record was posted or its edit given up: the state is browse again.
    Event AfterPost;
    Event AfterCancel;
    // Before a record in edit is posted or left: controls that hold typed text
    // not yet in the fields (the grid's open cell editor) put it there, so what
    // the user typed is what is posted.
    Event UpdateRecord;

    // For data-aware views: the row at a position without moving the cursor.
    QString textAt(qint64 position, int field);
    QVariant valueAt(qint64 position, int field);
    TableSource *source() const { return m_source.get(); }
    // The row at a position of the present order and filter, for walks that read
    // the source itself (a record being edited is only in the fields).
    RowId rowAt(qint64 position)
    {
        checkActive();
        return rowAtPosition(position);
    }

signals:
    // For data-aware controls; not sent while controls are disabled.
    void dataSetChanged();
    void recordChanged();
    void stateChanged();
    // The record count made in the background is known now.
    void recordCountArrived();

private:
    friend class Field;
    friend class IndexDefs;
    [[noreturn]] void fail(const QString &text, ErrorKind kind = ErrorKind::General) const;
    [[noreturn]] void failMissingIndex(const QString &name, const TableSource *source) const;
    void checkActive() const;
    void checkBrowseMode();
    // Lets UpdateRecord put typed text into the fields (once, not from within itself).
    void updateRecord();
    void checkCanModify() const;
    void setState(TDataSetState state);
    void doAfterScroll();
    void notifyDataSet();
    void notifyRecord();
    QVariant currentValue(int field);
    QString currentText(int field);
    void setCurrentValue(int field, const QVariant &value);
    void validate(int field, const QVariant &value) const;
    qint64 positionCount();
    // The rows in the present order and filter; natural order when there is no view.
    void buildView();
    // Changes what the view shows; restores the old settings when the new view fails.
    void changeView(const std::function<void()> &change, const std::function<void()> &undo);
    void followRow(RowId row, bool inserted);
    RowId rowAtPosition(qint64 position);
    bool hasRows();
    RowId currentRow();
    // After a change of the rows: count and current row are asked for again.
    void forgetRows();
    // The row at this position is the record being edited or inserted.
    bool isBuffered(qint64 position);
    // Where the insert row stands: after the last record; while the count is
    // being made, after the file's last record, as the grid shows it.
    qint64 insertPosition();
    // Once the count is known, a record appended meanwhile gets its exact place.
    void settlePlace();
    // A row near the file's end shown while an append waits for the count: it
    // stays blank rather than reading the table up to it on this thread.
    bool placedLater(qint64 position);
    // The background count: started for the natural order when the source
    // offers one, taken over when it ends (or when a caller waits for it).
    struct CountJob;
    bool countPending() const;
    void startCount();
    void stopCount();
    // Joins the scan (stopped first when stopFirst) and takes over what it counted.
    void collectCount(bool stopFirst);
    void countFinished(quint64 serial);
    void announceCount();

    QPointer<Connection> m_connection;
    QString m_tableName;
    bool m_tableDirect = true;
    bool m_readOnly = false;
    TCursorLocation m_cursorLocation = clUseClient;
    TCursorType m_cursorType = ctKeyset;
    QString m_indexName;
    IndexDefs m_indexDefs;
    QString m_filter;
    bool m_filtered = false;
    TFilterOptions m_filterOptions = 0;

    std::unique_ptr<TableSource> m_source;
    std::optional<QVector<RowId>> m_view;
    std::vector<std::unique_ptr<Field>> m_fields;
    TDataSetState m_state = dsInactive;
    qint64 m_position = 0; // 0-based position of the current record
    bool m_bof = true;
    bool m_eof = true;
    QVector<QVariant> m_original;
    QVector<QVariant> m_buffer;
    bool m_modified = false;
    bool m_updatingRecord = false;
    int m_disableCount = 0;
    bool m_pendingChange = false;
    qint64 m_countCache = -1;
    bool m_countInBackground = false;
    std::shared_ptr<CountJob> m_countJob;
    qint64 m_rowCachePosition = -1;
    RowId m_rowCache = -1;
    // A record appended while the count was being made stands at the file's
    // end, m_position, until the count tells its exact place: its row, else -1.
    RowId m_placeByEstimate = -1;
};

} // namespace engine
