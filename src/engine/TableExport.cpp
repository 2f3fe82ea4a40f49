#include "TableExport.h"

#include "KnownRowCount.h"

#include "EngineError.h"
#include "Progress.h"
#include "RawCells.h"
#include "ValueText.h"
#include "common/Journal.h"

#include <QFileInfo>

#include <QDateTime>
#include <QVarLengthArray>
#include <algorithm>
#include <array>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>
#include <cmath>

namespace engine {

namespace {

enum class Kind { Text, Integer, Real, Date, Time, DateTime, Boolean, Binary };

Kind kindOf(TFieldType type)
{
    switch (type) {
    case ftString: case ftFixedChar: case ftWideString: case ftMemo: case ftFmtMemo: case ftOraClob: case ftGuid:
    case ftUnknown: case ftVariant:
        return Kind::Text;
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
        return Kind::Integer;
    case ftFloat: case ftCurrency: case ftBCD: case ftFMTBcd:
        return Kind::Real;
    case ftDate:
        return Kind::Date;
    case ftTime:
        return Kind::Time;
    case ftDateTime: case ftTimeStamp:
        return Kind::DateTime;
    case ftBoolean:
        return Kind::Boolean;
    default:
        return Kind::Binary;
    }
}

bool isText(const QVariant &v)
{
    return v.typeId() == QMetaType::QString;
}

// Parsing text into a typed field: a text that does not fit gives null rather
// than stopping the export; the caller counts such values.
QVariant parsed(const QVariant &v, TFieldType to)
{
    try {
        return parseValue(v.toString(), to);
    } catch (const EngineError &) {
        return QVariant();
    }
}

// A source value as the target field takes it; one more in lost when it does not fit.
QVariant convertedValue(QVariant v, TFieldType from, TFieldType to, int &lost)
{
    if (from != to && v.isValid()) {
        v = convertValue(v, from, to);
        if (!v.isValid())
            ++lost;
    }
    return v;
}

constexpr int BatchRows = 1024;

// Rows read for the writer. Batches go back and forth between the threads and
// are filled again in place, so the values' memory is reused rather than
// allocated by one thread and freed by the other.
struct Batch {
    QVector<QVector<QVariant>> rows;
    int used = 0;
};

// Hands batches of rows to a thread that writes them; at most two batches wait.
class RowPipeline {
public:
    explicit RowPipeline(TableWriter &writer) : m_writer(writer), m_thread([this] { run(); }) {}

    // Stops the thread also when the reading side ends by an exception.
    ~RowPipeline()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    // An empty batch to fill: one the writer has finished with, or a new one.
    Batch take(int fields)
    {
        Batch batch;
        {
            const std::lock_guard lock(m_mutex);
            if (!m_free.empty()) {
                batch = std::move(m_free.back());
                m_free.pop_back();
            }
        }
        if (batch.rows.size() != BatchRows)
            batch.rows = QVector<QVector<QVariant>>(BatchRows, QVector<QVariant>(fields));
        batch.used = 0;
        return batch;
    }

    void push(Batch &&batch)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_queue.size() < 2 || m_failure; });
        if (m_failure)
            rethrow(lock);
        m_queue.push_back(std::move(batch));
        m_changed.notify_all();
    }

    void finish()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_changed.notify_all();
        m_thread.join();
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    [[noreturn]] void rethrow(std::unique_lock<std::mutex> &lock)
    {
        const std::exception_ptr failure = m_failure;
        lock.unlock();
        std::rethrow_exception(failure);
    }

    void run()
    {
        try {
            for (;;) {
                Batch batch;
                {
                    std::unique_lock lock(m_mutex);
                    m_changed.wait(lock, [this] { return !m_queue.empty() || m_done; });
                    if (m_queue.empty())
                        return;
                    batch = std::move(m_queue.front());
                    m_queue.pop_front();
                }
                m_changed.notify_all();
                for (int i = 0; i < batch.used; ++i)
                    m_writer.writeRow(batch.rows.at(i));
                const std::lock_guard lock(m_mutex);
                m_free.push_back(std::move(batch));
            }
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            m_failure = std::current_exception();
            m_queue.clear();
        }
        m_changed.notify_all();
    }

    TableWriter &m_writer;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch> m_queue;
    std::vector<Batch> m_free;
    bool m_done = false;
    std::exception_ptr m_failure;
    std::thread m_thread;
};

// The fields of an export as the raw path sees them; read by every thread, changed by none.
struct RawCopyPlan {
    const QVector<FieldDef> &sourceFields;
    const QVector<FieldDef> &targetFields;
    const RawRowWriter &writer;
    const Utf8Table *table;
    enum : quint8 {
        Converted = 1, // the field's type changes: its cells go through values
        AskCell = 2,   // the writer decides on the field's cells one by one
    };
    std::vector<quint8> how; // per field
};

// The source read on the calling thread, for sources without readers of their own.
class SourceRowReader final : public RawRowReader {
public:
    SourceRowReader(TableSource &source, RawCellSource &raw) : m_source(source), m_raw(raw) {}
    void load(const RowId *rows, qsizetype count) override { m_rows.assign(rows, rows + count); }
    void rawCells(qsizetype index, RawCell *cells) override { m_raw.rawCells(m_rows[size_t(index)], cells); }
    QVariant value(qsizetype index, int field) override { return m_source.value(m_rows[size_t(index)], field); }

private:
    TableSource &m_source;
    RawCellSource &m_raw;
    std::vector<RowId> m_rows;
};

// One thread's share of a raw copy: its reader, its formatter and what it counted.
class RawRowCopier {
public:
    RawRowCopier(const RawCopyPlan &plan, std::unique_ptr<RawRowReader> reader)
        : m_plan(plan), m_reader(std::move(reader)), m_formatter(plan.writer.rawFormatter(plan.table)),
          m_cells(size_t(plan.sourceFields.size())), m_values(size_t(plan.sourceFields.size())),
          m_lost(plan.sourceFields.size(), 0)
    {
    }

    // The rows formatted into out; cells in no plain form, or of a field whose
    // type changes, become values.
    void copy(const RowId *rows, qsizetype count, QByteArray &out)
    {
        const int n = int(m_cells.size());
        m_reader->load(rows, count);
        for (qsizetype r = 0; r < count; ++r) {
            m_reader->rawCells(r, m_cells.data());
            for (int f = 0; f < n; ++f) {
                RawCell &cell = m_cells[size_t(f)];
                const quint8 how = m_plan.how[size_t(f)];
                if (how == 0 && cell.form != RawCell::Value && (cell.form != RawCell::Text || m_plan.table))
                    continue; // the common case: a plain cell the writer takes as it is
                if ((how & RawCopyPlan::Converted) || (cell.form == RawCell::Text && !m_plan.table)
                    || ((how & RawCopyPlan::AskCell) && !m_plan.writer.takesCell(f, cell)))
                    cell.form = RawCell::Value;
                if (cell.form == RawCell::Value)
                    m_values[size_t(f)] = convertedValue(m_reader->value(r, f), m_plan.sourceFields.at(f).dataType,
                                                         m_plan.targetFields.at(f).dataType, m_lost[f]);
            }
            m_formatter->formatRow(m_cells.data(), m_values.data());
        }
        m_formatter->take(out);
    }

    const QVector<int> &lost() const { return m_lost; }

private:
    const RawCopyPlan &m_plan;
    std::unique_ptr<RawRowReader> m_reader;
    std::unique_ptr<RawRowFormatter> m_formatter;
    std::vector<RawCell> m_cells;
    std::vector<QVariant> m_values;
    QVector<int> m_lost;
};

constexpr qsizetype ChunkRows = 4096;

// Two threads format chunks of rows, each with its own reader, formatter and
// buffer, so they share no strings or values; the calling thread lists the
// rows of each chunk (rowAt() is not for other threads) and writes the
// finished chunks in order.
class ParallelRawCopy {
public:
    ParallelRawCopy(std::vector<std::unique_ptr<RawRowCopier>> &copiers) : m_copiers(copiers)
    {
        for (size_t t = 0; t < copiers.size(); ++t)
            m_threads.emplace_back([this, t] { work(*m_copiers[t]); });
    }

    // Stops the threads also when the calling side ends by an exception.
    ~ParallelRawCopy()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        for (std::thread &t : m_threads)
            t.join();
    }

    void run(TableSource &source, qint64 count, RawRowWriter &writer, ProgressMeter &meter, qint64 walked)
    {
        const qint64 chunks = (count + ChunkRows - 1) / ChunkRows;
        std::unique_lock lock(m_mutex);
        while (m_written < chunks) {
            if (m_listed < chunks && m_listed - m_written < qint64(m_slots.size())) {
                Slot &slot = m_slots[size_t(m_listed % qint64(m_slots.size()))];
                lock.unlock();
                const qint64 first = m_listed * ChunkRows;
                slot.rows.resize(size_t(std::min<qint64>(ChunkRows, count - first)));
                for (size_t i = 0; i < slot.rows.size(); ++i)
                    slot.rows[i] = source.rowAt(first + qint64(i));
                lock.lock();
                slot.done = false;
                slot.failure = nullptr;
                ++m_listed;
                m_changed.notify_all();
                continue;
            }
            Slot &next = m_slots[size_t(m_written % qint64(m_slots.size()))];
            if (next.done) {
                // The first failing chunk in row order fails the copy, as one thread would.
                if (next.failure)
                    std::rethrow_exception(next.failure);
                lock.unlock();
                writer.writeFormatted(next.bytes);
                meter.step(walked + std::min(count, (m_written + 1) * ChunkRows));
                lock.lock();
                ++m_written;
                continue;
            }
            m_changed.wait(lock);
        }
    }

private:
    struct Slot {
        std::vector<RowId> rows;
        QByteArray bytes;
        bool done = false;
        std::exception_ptr failure;
    };

    void work(RawRowCopier &copier)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stop || m_taken < m_listed; });
            if (m_stop)
                return;
            Slot &slot = m_slots[size_t(m_taken % qint64(m_slots.size()))];
            ++m_taken;
            lock.unlock();
            std::exception_ptr failure;
            try {
                copier.copy(slot.rows.data(), qsizetype(slot.rows.size()), slot.bytes);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            slot.failure = failure;
            slot.done = true;
            m_changed.notify_all();
        }
    }

    std::vector<std::unique_ptr<RawRowCopier>> &m_copiers;
    std::array<Slot, 4> m_slots;
    qint64 m_listed = 0;  // chunks whose rows are listed
    qint64 m_taken = 0;   // chunks a thread has begun
    qint64 m_written = 0; // chunks written
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::thread> m_threads;
};

// The measures of the text and number fields from the source's cells: a Text
// cell (one character a byte) by its size, a Number cell by the digits the
// engine writes for it; any other cell as its value, as measureValue() does.
void measureCells(TableSource &source, RawCellSource &raw, qint64 count, ProgressMeter &meter,
                  QVector<ColumnMeasure> &measures)
{
    const QVector<FieldDef> &fields = source.fieldDefs();
    std::vector<int> measured;
    for (int f = 0; f < fields.size(); ++f) {
        const Kind kind = kindOf(fields.at(f).dataType);
        if (kind == Kind::Text || kind == Kind::Integer || kind == Kind::Real)
            measured.push_back(f);
    }
    if (measured.empty())
        return;
    std::unique_ptr<RawRowReader> reader = raw.rawReader();
    if (!reader)
        reader = std::make_unique<SourceRowReader>(source, raw);
    const Utf8Table *table = raw.utf8Table();
    std::vector<RawCell> cells(size_t(fields.size()));
    std::vector<RowId> rows;
    QVarLengthArray<char, 64> digits;
    for (qint64 first = 0; first < count; first += ChunkRows) {
        meter.step(first);
        rows.resize(size_t(std::min<qint64>(ChunkRows, count - first)));
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = source.rowAt(first + qint64(i));
        reader->load(rows.data(), qsizetype(rows.size()));
        for (qsizetype r = 0; r < qsizetype(rows.size()); ++r) {
            reader->rawCells(r, cells.data());
            for (const int f : measured) {
                const RawCell &cell = cells[size_t(f)];
                const TFieldType type = fields.at(f).dataType;
                ColumnMeasure &m = measures[f];
                if (cell.form == RawCell::Null)
                    continue;
                if (cell.form == RawCell::Text && table) {
                    m.textLength = std::max(m.textLength, cell.size);
                    continue;
                }
                if (cell.form == RawCell::Number) {
                    const bool whole = kindOf(type) == Kind::Integer;
                    digits.resize(cell.size + 2);
                    const char *end = formatPlainDecimal(cell.data, cell.size, whole, '.', digits.data());
                    const int size = int(end - digits.data());
                    const char *point = std::find(static_cast<const char *>(digits.data()), end, '.');
                    const int before = int(point - digits.data());
                    // A whole number past 18 digits may not be a qint64: its value decides.
                    if (!whole || size <= 18) {
                        m.integerDigits = std::max(m.integerDigits, before);
                        if (!whole)
                            m.decimals = std::max(m.decimals, point < end ? int(end - point - 1) : 0);
                        continue;
                    }
                }
                measureValue(reader->value(r, f), type, m);
            }
        }
    }
}

// Copies the rows from the source's bytes into the writer's; returns the values lost per field.
QVector<int> copyRaw(TableSource &source, RawCellSource &raw, RawRowWriter &writer, const QVector<FieldDef> &targetFields,
                     qint64 count, ProgressMeter &meter, qint64 walked)
{
    const QVector<FieldDef> &sourceFields = source.fieldDefs();
    RawCopyPlan plan{sourceFields, targetFields, writer, raw.utf8Table(), {}};
    for (int f = 0; f < sourceFields.size(); ++f) {
        plan.how.push_back(quint8((sourceFields.at(f).dataType != targetFields.at(f).dataType ? RawCopyPlan::Converted : 0)
                                  | (writer.takesEveryCell(f) ? 0 : RawCopyPlan::AskCell)));
    }

    // Chunks are counted when written; the walk's start is told before the first.
    meter.step(walked);
    std::vector<std::unique_ptr<RawRowCopier>> copiers;
    if (count > ChunkRows) {
        for (int t = 0; t < 2; ++t) {
            std::unique_ptr<RawRowReader> reader = raw.rawReader();
            if (!reader)
                break;
            copiers.push_back(std::make_unique<RawRowCopier>(plan, std::move(reader)));
        }
    }
    if (copiers.size() == 2) {
        ParallelRawCopy(copiers).run(source, count, writer, meter, walked);
    } else {
        copiers.clear();
        copiers.push_back(std::make_unique<RawRowCopier>(plan, std::make_unique<SourceRowReader>(source, raw)));
        std::vector<RowId> rows;
        QByteArray bytes;
        for (qint64 first = 0; first < count; first += ChunkRows) {
            rows.resize(size_t(std::min<qint64>(ChunkRows, count - first)));
            for (size_t i = 0; i < rows.size(); ++i)
                rows[i] = source.rowAt(first + qint64(i));
            copiers.front()->copy(rows.data(), qsizetype(rows.size()), bytes);
            writer.writeFormatted(bytes);
            meter.step(walked + first + qint64(rows.size()));
        }
    }
    QVector<int> lost(sourceFields.size(), 0);
    for (const auto &copier : copiers) {
        for (int f = 0; f < lost.size(); ++f)
            lost[f] += copier->lost().at(f);
    }
    return lost;
}

} // namespace

QVariant convertValue(const QVariant &value, TFieldType from, TFieldType to)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    switch (kindOf(to)) {
    case Kind::Text:
        if (isText(value))
            return value;
        if (value.typeId() == QMetaType::QByteArray)
            return QString::fromLatin1(value.toByteArray().toBase64()); // binary data as text, reversibly
        return formatValue(value, from);
    case Kind::Integer:
        if (isText(value))
            return parsed(value, to);
        if (value.typeId() == QMetaType::Double) {
            const double d = value.toDouble();
            if (!std::isfinite(d) || std::fabs(d) >= 9.2e18)
                return QVariant();
            return qint64(std::llround(d));
        }
        return qint64(value.toLongLong());
    case Kind::Real:
        if (isText(value))
            return parsed(value, to);
        return value.toDouble();
    case Kind::Date:
        if (isText(value))
            return parsed(value, to);
        if (value.typeId() == QMetaType::QDateTime)
            return value.toDateTime().date();
        return value.toDate();
    case Kind::Time:
        if (isText(value))
            return parsed(value, to);
        if (value.typeId() == QMetaType::QDateTime)
            return value.toDateTime().time();
        return value.toTime();
    case Kind::DateTime:
        if (isText(value))
            return parsed(value, to);
        if (value.typeId() == QMetaType::QDate)
            return QDateTime(value.toDate(), QTime(0, 0));
        return value.toDateTime();
    case Kind::Boolean:
        if (isText(value))
            return parsed(value, to);
        return value.toBool();
    case Kind::Binary:
        if (isText(value))
            return value.toString().toUtf8();
        return value.toByteArray();
    }
    return QVariant();
}

void measureValue(const QVariant &value, TFieldType type, ColumnMeasure &measure)
{
    if (!value.isValid() || value.isNull())
        return;
    switch (kindOf(type)) {
    case Kind::Text:
        measure.textLength = std::max(measure.textLength, int(value.toString().size()));
        return;
    case Kind::Integer: {
        const qint64 v = value.toLongLong();
        char buffer[24];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
        measure.integerDigits = std::max(measure.integerDigits, int(r.ptr - buffer));
        return;
    }
    case Kind::Real: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return;
        // The digits the engine shows: 15 significant ones, as in "%.15g".
        char buffer[40];
        const auto r = std::to_chars(buffer, buffer + sizeof buffer, d, std::chars_format::general, 15);
        const std::string_view text(buffer, size_t(r.ptr - buffer));
        const size_t e = text.find('e');
        const std::string_view mantissa = text.substr(0, e);
        const int exponent = e == std::string_view::npos ? 0 : std::atoi(std::string(text.substr(e + 1)).c_str());
        const size_t point = mantissa.find('.');
        const bool negative = !mantissa.empty() && mantissa.front() == '-';
        const int intDigits = int(point == std::string_view::npos ? mantissa.size() : point) - (negative ? 1 : 0);
        const int fraction = point == std::string_view::npos ? 0 : int(mantissa.size() - point - 1);
        measure.integerDigits = std::max(measure.integerDigits, std::max(1, intDigits + exponent) + (negative ? 1 : 0));
        measure.decimals = std::max(measure.decimals, std::max(0, fraction - exponent));
        return;
    }
    default:
        return;
    }
}

ExportResult exportTable(TableSource &source, Driver &target, const QString &dataSource, const QString &tableName)
{
    const QVector<FieldDef> &sourceFields = source.fieldDefs();
    if (sourceFields.isEmpty())
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Tabelle %1 hat keine Felder, die exportiert werden könnten.")
                              .arg(source.tableName()));
    const qint64 count = source.rowCount();
    const int n = int(sourceFields.size());

    // A kind that measures its columns first walks the table twice; the
    // progress counts both walks.
    const bool measuring = target.needsMeasures();
    ProgressMeter meter(measuring ? 2 * count : count);
    QVector<ColumnMeasure> measures;
    auto *raw = dynamic_cast<RawCellSource *>(&source);
    if (measuring && raw) {
        measures.resize(n);
        measureCells(source, *raw, count, meter, measures);
    } else if (measuring) {
        measures.resize(n);
        for (qint64 p = 0; p < count; ++p) {
            meter.step(p);
            const RowId row = source.rowAt(p);
            for (int f = 0; f < n; ++f) {
                const TFieldType type = sourceFields.at(f).dataType;
                if (kindOf(type) == Kind::Text || kindOf(type) == Kind::Integer || kindOf(type) == Kind::Real)
                    measureValue(source.value(row, f), type, measures[f]);
            }
        }
    }

    ExportResult result;
    const QVector<FieldDef> targetFields = target.fieldsFor(sourceFields, measures, result.changes);
    if (targetFields.size() != n)
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die Felder der Tabelle %1 lassen sich nicht in die Zielart %2 übernehmen.")
                              .arg(source.tableName(), target.kindName()));

    // Writing into the folder: what dead writers left there is finished or removed first.
    io::Journal::recoverFolder(target.dataSourceIsDirectory() ? dataSource : QFileInfo(dataSource).absolutePath());
    std::unique_ptr<TableWriter> writer = target.createWriter(dataSource, tableName, targetFields);
    if (auto *counted = dynamic_cast<KnownRowCount *>(writer.get()))
        counted->expectRows(count);
    QVector<int> lost(n, 0); // values of a field that the target type could not take
    auto *rawWriter = dynamic_cast<RawRowWriter *>(writer.get());
    if (raw && rawWriter) {
        lost = copyRaw(source, *raw, *rawWriter, targetFields, count, meter, measuring ? count : 0);
    } else {
        // Reading and converting here, formatting and writing on a second
        // thread: on two cores the copy takes little more than the slower half.
        RowPipeline pipeline(*writer);
        Batch batch = pipeline.take(n);
        const qint64 walked = measuring ? count : 0;
        // A source with a reader of its own has the values of a batch of rows read
        // at once (a dBASE table: their records in one read) rather than row by row.
        const std::unique_ptr<RawRowReader> reader = raw ? raw->rawReader() : nullptr;
        std::vector<RowId> rows;
        for (qint64 first = 0; first < count; first += BatchRows) {
            rows.resize(size_t(std::min<qint64>(BatchRows, count - first)));
            for (size_t i = 0; i < rows.size(); ++i)
                rows[i] = source.rowAt(first + qint64(i));
            if (reader)
                reader->load(rows.data(), qsizetype(rows.size()));
            for (size_t i = 0; i < rows.size(); ++i) {
                meter.step(walked + first + qint64(i));
                QVector<QVariant> &values = batch.rows[batch.used++];
                for (int f = 0; f < n; ++f) {
                    values[f] = convertedValue(reader ? reader->value(qsizetype(i), f) : source.value(rows[i], f),
                                               sourceFields.at(f).dataType, targetFields.at(f).dataType, lost[f]);
                }
                if (batch.used == BatchRows) {
                    pipeline.push(std::move(batch));
                    batch = pipeline.take(n);
                }
            }
        }
        pipeline.push(std::move(batch));
        pipeline.finish(); // rethrows what the writer threw
    }
    writer->commit();
    meter.finish();
    result.rows = count;
    for (int f = 0; f < n; ++f) {
        if (lost[f] > 0)
            result.changes << QStringLiteral("%1 Werte des Feldes %2 passten nicht in den Typ %3 und blieben leer.")
                                  .arg(lost[f])
                                  .arg(sourceFields.at(f).name, fieldTypeName(targetFields.at(f).dataType));
    }
    return result;
}

} // namespace engine
