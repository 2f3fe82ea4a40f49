// Records of a new table formatted from another table's cells, for an export
// into dBASE: text translated byte by byte into the new table's code page,
// numbers, dates and logicals copied as their characters. What a cell's bytes
// cannot give exactly as encode() would write the value goes through encode().
#include "DbfTable.h"

#include "DbfValues.h"
#include "EngineError.h"

#include <array>
#include <cstring>
#include <functional>
#include <vector>

namespace engine::dbase {

namespace {

// A Number cell as a numeric field of width and decimals holds it, right-aligned
// at out, as formatNumeric() writes the value; false where rounding or a
// double's binary digits could make formatNumeric() write other digits.
bool numericText(const RawCell &cell, bool integral, int width, int decimals, char *out)
{
    const char *p = cell.data;
    const char *end = p + cell.size;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    const char *dot = static_cast<const char *>(memchr(p, '.', size_t(end - p)));
    if (!dot)
        dot = end;
    const char *intBegin = p;
    while (intBegin < dot && *intBegin == '0')
        ++intBegin;
    const char *fracBegin = dot < end ? dot + 1 : end;
    const char *fracEnd = end;
    while (fracEnd > fracBegin && fracEnd[-1] == '0')
        --fracEnd;
    const int intDigits = int(dot - intBegin);
    const int fracDigits = int(fracEnd - fracBegin);
    if (fracDigits > decimals)
        return false; // rounded by formatNumeric()
    if (integral && decimals == 0) {
        if (intDigits > 18)
            return false; // beyond what a qint64 surely holds
    } else if (std::max(intDigits, 1) + decimals > 15) {
        return false; // written from a double: its digits past the fifteenth are not the cell's
    }
    char text[40];
    int n = 0;
    // No "-0" and no "-0.00": a zero is stored without a sign.
    if (negative && (intDigits > 0 || fracDigits > 0))
        text[n++] = '-';
    if (intDigits == 0) {
        text[n++] = '0';
    } else {
        memcpy(text + n, intBegin, size_t(intDigits));
        n += intDigits;
    }
    if (decimals > 0) {
        text[n++] = '.';
        memcpy(text + n, fracBegin, size_t(fracDigits));
        memset(text + n + fracDigits, '0', size_t(decimals - fracDigits));
        n += decimals;
    }
    if (n > width)
        return false;
    memset(out, ' ', size_t(width - n));
    memcpy(out + width - n, text, size_t(n));
    return true;
}

bool isIntegralType(TFieldType type)
{
    return type == ftSmallint || type == ftInteger || type == ftWord || type == ftAutoInc || type == ftLargeint;
}

// Formats rows into whole records, then the memos of those that have any:
// [row count][records][per memo: row, field, memo type, size, bytes].
class BulkFormatter final : public RawRowFormatter {
public:
    BulkFormatter(const DbfFile &file, const QVector<FieldDef> &fields, const Utf8Table *source,
                  const std::function<EngineError(const EngineError &)> &shown)
        : m_file(file), m_source(source), m_shown(shown), m_blank(file.blankRecord())
    {
        for (int i = 0; i < fields.size(); ++i)
            m_integral.push_back(isIntegralType(fields.at(i).dataType));
        // encode() keeps a table of the code page built on first use: built here,
        // so the formatting threads only read it.
        QByteArray warm;
        file.codec().encode(QString(), warm, nullptr);
        // Each byte of the source's code page as the new table's byte, where it has one.
        if (source) {
            QByteArray encoded;
            for (int b = 0; b < 256; ++b) {
                const QChar c(source->unicode[size_t(b)]);
                if (c != QChar::ReplacementCharacter && file.codec().encode(QString(c), encoded, nullptr)
                    && encoded.size() == 1) {
                    m_bytes[size_t(b)] = encoded.at(0);
                    m_mapped[size_t(b)] = true;
                }
            }
        }
        m_out.resize(sizeof(qint32));
    }

    void formatRow(const RawCell *cells, const QVariant *values) override
    {
        try {
            // The record is built in place, its memory kept from row to row.
            if (m_rec.size() != m_blank.size())
                m_rec = QByteArray(m_blank.size(), Qt::Uninitialized);
            char *rec = m_rec.data();
            memcpy(rec, m_blank.constData(), size_t(m_blank.size()));
            const auto &fields = m_file.header().fields;
            m_memos.clear();
            for (size_t i = 0; i < fields.size(); ++i) {
                const DbfField &f = fields[i];
                const RawCell &cell = cells[i];
                char *p = rec + f.offset;
                switch (cell.form) {
                case RawCell::Text:
                    if (f.kind != DbfField::Character || cell.size > f.width || !copyText(cell, p))
                        m_file.encode(m_rec, int(i), textOf(cell), m_memos);
                    break;
                case RawCell::Number:
                    if (f.kind != DbfField::Numeric || !numericText(cell, m_integral[i], f.width, f.decimals, p))
                        m_file.encode(m_rec, int(i), parseNumeric(cell.data, cell.size, m_integral[i]), m_memos);
                    break;
                case RawCell::Date8:
                    if (f.kind == DbfField::Date)
                        memcpy(p, cell.data, 8);
                    else
                        m_file.encode(m_rec, int(i), parseDate(cell.data), m_memos);
                    break;
                case RawCell::True:
                case RawCell::False:
                    if (f.kind == DbfField::Logical)
                        *p = cell.form == RawCell::True ? 'T' : 'F';
                    else
                        m_file.encode(m_rec, int(i), cell.form == RawCell::True, m_memos);
                    break;
                case RawCell::Null:
                    m_file.encode(m_rec, int(i), QVariant(), m_memos);
                    break;
                case RawCell::Value:
                    m_file.encode(m_rec, int(i), values[i], m_memos);
                    break;
                }
            }
        } catch (const EngineError &e) {
            throw m_shown(e);
        }
        m_out.append(m_rec);
        for (const DbfFile::PendingMemo &memo : m_memos) {
            const qint32 head[3] = {m_rows, qint32(memo.field), qint32(memo.fptType)};
            const qint64 size = memo.data.size();
            m_memoBytes.append(reinterpret_cast<const char *>(head), sizeof head);
            m_memoBytes.append(reinterpret_cast<const char *>(&size), sizeof size);
            m_memoBytes.append(memo.data);
        }
        ++m_rows;
    }

    void take(QByteArray &rows) override
    {
        memcpy(m_out.data(), &m_rows, sizeof m_rows);
        m_out.append(m_memoBytes);
        rows.resize(0);
        rows.swap(m_out);
        m_out.resize(sizeof(qint32));
        m_memoBytes.resize(0);
        m_rows = 0;
    }

private:
    // Text of a single-byte code page, byte for byte; false when a byte has no
    // place in the new table's code page (encode() then names the character).
    bool copyText(const RawCell &cell, char *p) const
    {
        const auto *bytes = reinterpret_cast<const unsigned char *>(cell.data);
        for (int k = 0; k < cell.size; ++k) {
            if (!m_mapped[bytes[k]])
                return false;
            p[k] = m_bytes[bytes[k]];
        }
        return true;
    }

    QVariant textOf(const RawCell &cell) const
    {
        QString text(cell.size, Qt::Uninitialized);
        const auto *bytes = reinterpret_cast<const unsigned char *>(cell.data);
        for (int k = 0; k < cell.size; ++k)
            text[k] = QChar(m_source->unicode[bytes[k]]);
        return text;
    }

    const DbfFile &m_file;
    const Utf8Table *m_source;
    std::function<EngineError(const EngineError &)> m_shown;
    const QByteArray m_blank;
    std::vector<bool> m_integral; // fields whose values are whole numbers (qint64)
    std::array<char, 256> m_bytes{};
    std::array<bool, 256> m_mapped{};
    QByteArray m_rec;
    std::vector<DbfFile::PendingMemo> m_memos;
    QByteArray m_out;
    QByteArray m_memoBytes;
    qint32 m_rows = 0;
};

} // namespace

std::unique_ptr<RawRowFormatter> DbfTable::bulkFormatter(const QVector<FieldDef> &fields, const Utf8Table *source,
                                                         const std::function<EngineError(const EngineError &)> &shown) const
{
    return std::make_unique<BulkFormatter>(m_file, fields, source, shown);
}

void DbfTable::appendBulkFormatted(const QByteArray &rows)
{
    ensureWritable();
    if (rows.size() < qsizetype(sizeof(qint32)))
        return;
    qint32 count = 0;
    memcpy(&count, rows.constData(), sizeof count);
    const qint64 length = m_file.header().recordLength;
    const char *records = rows.constData() + sizeof count;
    const char *memo = records + count * length;
    const char *end = rows.constData() + rows.size();
    qint32 done = 0;
    while (done < count) {
        // The next row with memos, and those before it in one piece.
        qint32 next = count;
        if (memo < end)
            memcpy(&next, memo, sizeof next);
        if (next > done)
            m_file.appendBulkRecords(records + done * length, next - done);
        done = next;
        if (done >= count)
            break;
        std::vector<DbfFile::PendingMemo> memos;
        while (memo < end) {
            qint32 head[3];
            qint64 size = 0;
            memcpy(head, memo, sizeof head);
            if (head[0] != done)
                break;
            memcpy(&size, memo + sizeof head, sizeof size);
            memo += sizeof head + sizeof size;
            memos.push_back({head[1], QByteArray(memo, qsizetype(size)), quint32(head[2])});
            memo += size;
        }
        QByteArray rec(records + done * length, length);
        m_file.appendBulkRecord(rec, memos);
        ++done;
    }
}

} // namespace engine::dbase
