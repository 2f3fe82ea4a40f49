// A record's cells as stored, for copying a table without a value per cell: the
// forms follow decode() exactly, and whatever is not plain is left to value().
#include "DbfTable.h"

#include "DbfCellPlan.h"
#include "EngineError.h"
#include "common/FileIo.h"
#include "common/MappedCopy.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace engine::dbase {

const Utf8Table *DbfTable::utf8Table() const
{
    if (m_utf8State == 0) {
        const bool usable = m_file.codec().isSingleByte()
            && buildUtf8Table([this](char b) { return m_file.codec().decode(&b, 1); }, m_utf8);
        m_utf8State = usable ? 1 : -1;
    }
    return m_utf8State == 1 ? &m_utf8 : nullptr;
}

void DbfTable::rawCells(RowId row, RawCell *cells)
{
    const char *rec = record(row);
    for (size_t i = 0; i < m_file.header().fields.size(); ++i)
        cells[i] = cellOf(rec, int(i));
}

RawCell DbfTable::rawCell(RowId row, int field)
{
    if (field < 0 || field >= int(m_file.header().fields.size()))
        return RawCell(); // value() reports the bad field number
    return cellOf(record(row), field);
}

RawCell DbfTable::gatheredCell(qsizetype index, int k)
{
    return cellOf(m_gathered.data() + size_t(index) * m_file.header().recordLength, m_gatheredFields[size_t(k)]);
}

bool DbfTable::gatherRows(const RowId *rows, qsizetype count, const int *fields, int fieldCount)
{
    m_gatheredFields.assign(fields, fields + fieldCount);
    if (count <= 0)
        return true;
    const DbfHeader &head = m_file.header();
    // The flag byte (to see that each piece is a record), the fields, their null flags.
    std::vector<io::ByteRange> ranges{{0, 1}};
    bool nullable = false;
    for (int k = 0; k < fieldCount; ++k) {
        if (fields[k] < 0 || fields[k] >= int(head.fields.size()))
            return false;
        const DbfField &f = head.fields[size_t(fields[k])];
        ranges.push_back({size_t(f.offset), size_t(f.width)});
        nullable = nullable || f.nullBit >= 0;
    }
    if (nullable && head.nullFlagsOffset >= 0)
        ranges.push_back({size_t(head.nullFlagsOffset), size_t(head.nullFlagsWidth)});
    static_assert(sizeof(RowId) == sizeof(qint64));
    return m_file.gatherRecords(rows, size_t(count), std::move(ranges), m_gathered);
}

RawCell DbfTable::cellOf(const char *rec, int field) const
{
    const DbfField &f = m_file.header().fields[size_t(field)];
    RawCell cell;
    if (nullFlag(rec, f.nullBit)) {
        cell.form = RawCell::Null;
        return cell;
    }
    const char *p = rec + f.offset;
    switch (f.kind) {
    case DbfField::Character:
        if (utf8Table()) {
            cell.form = RawCell::Text;
            cell.data = p;
            cell.size = trimmedLength(p, f.width);
        }
        return cell;
    case DbfField::Numeric:
        return storedNumberCell(p, f.width, f.integerValue);
    case DbfField::Date:
        if (validDate8(p)) {
            cell.form = RawCell::Date8;
            cell.data = p;
            cell.size = 8;
        } else {
            cell.form = RawCell::Null;
        }
        return cell;
    case DbfField::Logical:
        switch (p[0]) {
        case 'T': case 't': case 'Y': case 'y': cell.form = RawCell::True; break;
        case 'F': case 'f': case 'N': case 'n': cell.form = RawCell::False; break;
        default: cell.form = RawCell::Null; break;
        }
        return cell;
    default:
        return cell; // memos, binary numbers, date-times, varying fields: value()
    }
}

// Reads batches of records with pread() into a buffer of its own, and text
// memos as bytes: what it shares with the table (header, code page, memo file)
// does not change while an export reads, and pread() needs no file position.
class DbfRowReader final : public RawRowReader {
public:
    explicit DbfRowReader(const DbfTable &table)
        : m_table(table), m_plan(table.m_file.header(), table.utf8Table() != nullptr),
          m_memos(table.m_file.header().fields.size())
    {
        // Text memos as cells where the code page is a table of bytes and the memo file is there.
        m_memoCells = m_plan.hasMemos() && table.utf8Table() && table.m_file.memo() && !table.m_file.memoMissing();
    }

    void load(const RowId *rows, qsizetype count) override
    {
        m_rows.assign(rows, rows + count);
        if (count == 0)
            return;
        const qint64 length = m_table.m_file.header().recordLength;
        const auto [low, high] = std::minmax_element(rows, rows + count);
        for (qsizetype i = 0; i < count; ++i)
            m_table.m_file.checkRow(rows[i]);
        // Rows close together (the natural order, a few deleted records between)
        // come in one read; scattered ones one by one.
        if (*high - *low < 2 * count) {
            m_first = *low;
            readRecords(m_first, *high - *low + 1, 0);
        } else {
            m_first = -1;
            for (qsizetype i = 0; i < count; ++i)
                readRecords(rows[i], 1, i * length);
        }
    }

    void rawCells(qsizetype index, RawCell *cells) override
    {
        const char *rec = record(index);
        m_plan.cells(rec, cells);
        if (!m_memoCells)
            return;
        const auto &fields = m_plan.fields();
        for (size_t f = 0; f < fields.size(); ++f) {
            if (fields[f].step == DbfCellPlan::Step::Memo && cells[f].form == RawCell::Value)
                cells[f] = memoCell(rec, int(f), index);
        }
    }

    QVariant value(qsizetype index, int field) override
    {
        return m_table.m_file.decode(record(index), field, m_rows[size_t(index)]);
    }

private:
    const char *record(qsizetype index) const
    {
        const qint64 length = m_table.m_file.header().recordLength;
        const qint64 slot = m_first >= 0 ? m_rows[size_t(index)] - m_first : index;
        return m_buffer.data() + slot * length;
    }

    void readRecords(RowId first, qint64 count, qint64 at)
    {
        const DbfHeader &head = m_table.m_file.header();
        const qint64 bytes = count * head.recordLength;
        if (qint64(m_buffer.size()) < at + bytes)
            m_buffer.resize(size_t(std::max<qint64>(at + bytes, qint64(m_rows.size()) * head.recordLength)));
        const qint64 got = io::preadFully(m_table.m_file.fd(), m_buffer.data() + at, bytes,
                                          head.headerLength + first * head.recordLength, m_table.m_file.path());
        if (got < bytes)
            throw io::damagedFile(m_table.m_file.path(), QStringLiteral("die Datei endet vor dem Satz %1")
                                                      .arg(first + got / head.recordLength + 1));
    }

    // The memo's bytes as memoValue() decodes them, kept until the next row.
    RawCell memoCell(const char *rec, int field, qsizetype index)
    {
        const DbfField &f = m_table.m_file.header().fields[size_t(field)];
        RawCell cell;
        if (m_table.m_file.nullFlag(rec, f.nullBit)) {
            cell.form = RawCell::Null;
            return cell;
        }
        const quint32 block = m_table.m_file.memoBlock(rec, f);
        if (block == 0) {
            cell.form = RawCell::Null;
            return cell;
        }
        QByteArray &data = m_memos[size_t(field)];
        try {
            // Where the memo belongs is only needed for a message; it is not built for every memo.
            data = m_table.m_file.memo()->read(block, QString());
        } catch (const EngineError &) {
            data = m_table.m_file.memo()->read(block, QStringLiteral("Feld %1, %2").arg(f.name, m_table.m_file.recordName(m_rows[size_t(index)])));
        }
        if (data.contains("\x8D\x0A"))
            data.replace("\x8D\x0A", "\r\n");
        cell.form = RawCell::Text;
        cell.data = data.constData();
        cell.size = int(std::min<qsizetype>(data.size(), std::numeric_limits<int>::max()));
        return cell;
    }

    const DbfTable &m_table;
    const DbfCellPlan m_plan;
    std::vector<RowId> m_rows;
    std::vector<char> m_buffer;
    RowId m_first = -1; // the record at the buffer's start when the batch came in one read
    std::vector<QByteArray> m_memos;
    bool m_memoCells = false;
};

std::unique_ptr<RawRowReader> DbfTable::rawReader() const
{
    utf8Table(); // built here, so the readers' threads only read it
    return std::make_unique<DbfRowReader>(*this);
}

} // namespace engine::dbase
