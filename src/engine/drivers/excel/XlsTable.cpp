#include "XlsTable.h"

#include "EngineError.h"
#include "ValueText.h"

#include <QDateTime>
#include <QDir>
#include <algorithm>
#include <cmath>

namespace engine::xls {

namespace {

QString columnLetters(int col)
{
    QString letters;
    for (int n = col + 1; n > 0; n = (n - 1) / 26)
        letters.prepend(QChar(u'A' + (n - 1) % 26));
    return letters;
}

} // namespace

QString areaText(const Area &area)
{
    return QStringLiteral("%1%2:%3%4")
        .arg(columnLetters(area.firstCol)).arg(area.firstRow + 1)
        .arg(columnLetters(area.lastCol)).arg(area.lastRow + 1);
}

XlsTable::XlsTable(std::shared_ptr<Workbook> book, int sheet, const Area &area, const QString &tableName,
                   bool namedRange)
    : m_book(std::move(book))
    , m_sheet(sheet)
    , m_area(area)
    , m_tableName(tableName)
    , m_namedRange(namedRange)
{
    m_cells = m_book->readSheet(sheet);
    if (m_namedRange) {
        // A range over whole columns or rows ends where the sheet's cells end.
        m_area.lastRow = std::min(m_area.lastRow, std::max(m_area.firstRow, m_cells.lastRow));
        m_area.lastCol = std::min(m_area.lastCol, std::max(m_area.firstCol, m_cells.lastCol));
    } else if (m_cells.firstRow <= m_cells.lastRow) {
        m_area = {m_cells.firstRow, m_cells.lastRow, m_cells.firstCol, m_cells.lastCol};
    } else {
        m_area = {0, 0, 0, 0}; // an empty sheet: one unnamed column, no rows
    }
    describeColumns();
}

QString XlsTable::cellText(const Cell &cell) const
{
    switch (cell.kind) {
    case CellKind::SharedText:
        return m_book->sharedString(cell.text);
    case CellKind::OwnText:
        return cell.text < m_cells.ownStrings.size() ? m_cells.ownStrings[cell.text] : QString();
    case CellKind::Bool:
        return cell.number != 0 ? QStringLiteral("True") : QStringLiteral("False");
    case CellKind::Error:
        return QString();
    case CellKind::Number:
        break;
    }
    const NumberStyle style = m_book->styleOfXf(cell.xf);
    QDate date;
    QTime time;
    if (style != NumberStyle::Plain && m_book->splitSerial(cell.number, date, time)) {
        if (style == NumberStyle::Date && time == QTime(0, 0))
            return formatDate(date);
        if (style == NumberStyle::Time && cell.number < 1)
            return formatTime(time);
        return formatDateTime(QDateTime(date, time));
    }
    return formatFloat(cell.number);
}

void XlsTable::describeColumns()
{
    const int columns = m_area.lastCol - m_area.firstCol + 1;
    m_defs.clear();
    m_kinds.clear();

    enum Seen { sText = 1, sNumber = 2, sDate = 4, sTime = 8, sDateTime = 16, sBool = 32 };
    QVector<int> seen(columns, 0);
    QVector<int> longest(columns, 0);
    const auto begin = std::lower_bound(m_cells.cells.begin(), m_cells.cells.end(), quint32(m_area.firstRow + 1),
                                        [](const Cell &c, quint32 row) { return c.row < row; });
    for (auto it = begin; it != m_cells.cells.end() && int(it->row) <= m_area.lastRow; ++it) {
        if (it->col < m_area.firstCol || it->col > m_area.lastCol)
            continue;
        const int f = it->col - m_area.firstCol;
        switch (it->kind) {
        case CellKind::SharedText:
        case CellKind::OwnText:
            seen[f] |= sText;
            break;
        case CellKind::Bool:
            seen[f] |= sBool;
            break;
        case CellKind::Error:
            break;
        case CellKind::Number:
            switch (m_book->styleOfXf(it->xf)) {
            case NumberStyle::Plain:
                seen[f] |= sNumber;
                break;
            case NumberStyle::Date:
                // A date format shows no time, but the time is there and is kept.
                seen[f] |= (it->number == std::floor(it->number)) ? sDate : sDateTime;
                break;
            case NumberStyle::Time:
                seen[f] |= it->number < 1 ? sTime : sDateTime;
                break;
            case NumberStyle::DateTime:
                seen[f] |= sDateTime;
                break;
            }
            if (m_book->styleOfXf(it->xf) != NumberStyle::Plain) {
                QDate date;
                QTime time;
                if (!m_book->splitSerial(it->number, date, time))
                    seen[f] |= sNumber; // a serial no date matches stays a number
            }
            break;
        }
        if (it->kind != CellKind::Error)
            longest[f] = std::max<int>(longest[f], int(cellText(*it).size()));
    }

    QStringList names;
    for (int f = 0; f < columns; ++f) {
        const Cell *head = m_cells.find(quint32(m_area.firstRow), quint16(m_area.firstCol + f));
        QString name = head ? cellText(*head) : QString();
        if (name.trimmed().isEmpty())
            name = QStringLiteral("F%1").arg(f + 1);
        // Field names are unique: a repeated heading gets the next free number.
        if (names.contains(name, Qt::CaseInsensitive)) {
            int n = 1;
            while (names.contains(name + QString::number(n), Qt::CaseInsensitive))
                ++n;
            name += QString::number(n);
        }
        names << name;

        FieldDef def;
        def.name = name;
        def.fieldNo = f + 1;
        Kind kind = Kind::Text;
        const int s = seen[f];
        if (s == sNumber) {
            kind = Kind::Number;
        } else if (s == sBool) {
            kind = Kind::Bool;
        } else if (s != 0 && (s & ~(sDate | sTime | sDateTime)) == 0) {
            kind = s == sDate ? Kind::Date : s == sTime ? Kind::Time : Kind::DateTime;
        }
        switch (kind) {
        case Kind::Number:
            def.dataType = ftFloat;
            def.size = 8;
            def.nativeType = QStringLiteral("Zahl");
            break;
        case Kind::Bool:
            def.dataType = ftBoolean;
            def.size = 2;
            def.nativeType = QStringLiteral("Wahrheitswert");
            break;
        case Kind::Date:
            def.dataType = ftDate;
            def.size = 8;
            def.nativeType = QStringLiteral("Datum");
            break;
        case Kind::Time:
            def.dataType = ftTime;
            def.size = 8;
            def.nativeType = QStringLiteral("Uhrzeit");
            break;
        case Kind::DateTime:
            def.dataType = ftDateTime;
            def.size = 8;
            def.nativeType = QStringLiteral("Datum/Uhrzeit");
            break;
        case Kind::Text:
            if (longest[f] > MaxStringSize) {
                def.dataType = ftMemo;
                def.nativeType = QStringLiteral("Memo");
            } else {
                def.dataType = ftString;
                def.size = std::max(1, longest[f]);
                def.nativeType = QStringLiteral("Text(%1)").arg(def.size);
            }
            break;
        }
        m_defs.append(def);
        m_kinds.append(kind);
    }
}

qint64 XlsTable::rowCount()
{
    return m_area.lastRow - m_area.firstRow;
}

RowId XlsTable::rowAt(qint64 position)
{
    if (position < 0 || position >= rowCount())
        throw EngineError(ErrorKind::NotFound, QStringLiteral("Die Tabelle %1 hat keinen Datensatz an Position %2.").arg(m_tableName).arg(position + 1));
    return m_area.firstRow + 1 + position;
}

qint64 XlsTable::positionOf(RowId row)
{
    const qint64 position = row - (m_area.firstRow + 1);
    return position >= 0 && position < rowCount() ? position : -1;
}

QVariant XlsTable::value(RowId row, int field)
{
    if (field < 0 || field >= m_defs.size() || positionOf(row) < 0)
        return QVariant();
    const Cell *cell = m_cells.find(quint32(row), quint16(m_area.firstCol + field));
    if (!cell || cell->kind == CellKind::Error)
        return QVariant();
    switch (m_kinds[field]) {
    case Kind::Text:
        return cellText(*cell);
    case Kind::Number:
        return cell->number;
    case Kind::Bool:
        return cell->number != 0;
    case Kind::Date:
    case Kind::Time:
    case Kind::DateTime: {
        QDate date;
        QTime time;
        if (!m_book->splitSerial(cell->number, date, time))
            return QVariant();
        if (m_kinds[field] == Kind::Date)
            return date;
        if (m_kinds[field] == Kind::Time)
            return time;
        return QDateTime(date, time);
    }
    }
    return QVariant();
}

QString XlsTable::readOnlyReason() const
{
    return QStringLiteral("Die Excel-Arbeitsmappe %1 kann nur gelesen werden; Excel-Tabellen lassen sich nicht ändern.")
        .arg(QDir::toNativeSeparators(m_book->path()));
}

QList<QPair<QString, QString>> XlsTable::facts() const
{
    QList<QPair<QString, QString>> out;
    out.append({QStringLiteral("Format"), m_book->biffVersion() == 8 ? QStringLiteral("Excel 97–2003 (BIFF8)")
                                                                      : QStringLiteral("Excel 5.0/95 (BIFF5)")});
    out.append({QStringLiteral("Art"), m_namedRange ? QStringLiteral("Benannter Bereich") : QStringLiteral("Arbeitsblatt")});
    const SheetInfo &sheet = m_book->sheets().at(m_sheet);
    out.append({QStringLiteral("Blatt"), sheet.name});
    if (sheet.visibility != 0)
        out.append({QStringLiteral("Sichtbarkeit"), sheet.visibility == 1 ? QStringLiteral("ausgeblendet")
                                                                          : QStringLiteral("ausgeblendet (nur per Makro sichtbar)")});
    out.append({QStringLiteral("Bereich"), areaText(m_area)});
    out.append({QStringLiteral("Datumssystem"), m_book->uses1904() ? QStringLiteral("1904 (Macintosh)") : QStringLiteral("1900")});
    if (m_book->biffVersion() == 5)
        out.append({QStringLiteral("Codepage"), QString::number(m_book->codePage())});
    return out;
}

} // namespace engine::xls
