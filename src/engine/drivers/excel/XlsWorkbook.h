#pragma once
// An Excel 97–2003 (BIFF8) or Excel 5.0/95 (BIFF5) workbook as the reader sees
// it: the workbook globals (sheets, defined names, shared strings, cell formats,
// date system) are read on load; the cells of one sheet are read when a table of
// that sheet is opened. libgsf opens the OLE2 container; the records are ours.
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVector>
#include <memory>
#include <vector>

namespace engine::xls {

enum class CellKind : quint8 { Number, SharedText, OwnText, Bool, Error };

// One cell that holds something (blank cells are not kept). text indexes the
// shared strings or the sheet's own strings, by kind.
struct Cell {
    double number = 0;
    quint32 row = 0;
    quint32 text = 0;
    quint16 col = 0;
    quint16 xf = 0;
    CellKind kind = CellKind::Number;
};

// How a cell format shows a number.
enum class NumberStyle : quint8 { Plain, Date, Time, DateTime };

struct SheetInfo {
    QString name;
    quint32 offset = 0; // stream position of the sheet's BOF record
    quint8 visibility = 0; // 0 visible, 1 hidden, 2 very hidden
    quint8 type = 0;       // 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
};

// A workbook-global name that refers to one rectangle on one worksheet.
struct DefinedName {
    QString name;
    int sheet = 0;
    int firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0; // inclusive, 0-based
};

struct SheetCells {
    std::vector<Cell> cells;         // sorted by row, then column; one per position
    std::vector<QString> ownStrings; // text of LABEL, RSTRING and formula results
    // The rectangle of cells that hold something; empty when firstRow > lastRow.
    int firstRow = 1, lastRow = 0, firstCol = 1, lastCol = 0;

    const Cell *find(quint32 row, quint16 col) const;
};

class Workbook {
public:
    // Throws EngineError (German, naming the file) for a file that is no readable workbook.
    static std::shared_ptr<Workbook> load(const QString &path);

    const QString &path() const { return m_path; }
    int biffVersion() const { return m_biff; } // 8 or 5
    bool uses1904() const { return m_1904; }
    int codePage() const { return m_codePage; }
    const QVector<SheetInfo> &sheets() const { return m_sheets; }
    const QVector<DefinedName> &names() const { return m_names; }
    const QString &sharedString(quint32 index) const;
    NumberStyle styleOfXf(quint16 xf) const;

    // Reads the cells of a sheet (an index into sheets()).
    SheetCells readSheet(int sheet) const;

    // The date (and time) of a serial number in this workbook's date system;
    // invalid for numbers no date of the system matches.
    QDateTime dateTimeOf(double serial) const;
    // The same as date and time of day, without building a QDateTime (whose
    // time-zone lookup costs more than all the rest); false where no date matches.
    bool splitSerial(double serial, QDate &date, QTime &time) const;

private:
    struct Record {
        quint16 id = 0;
        qsizetype offset = 0; // of the data, behind the 4-byte header
        quint16 length = 0;
    };
    class Reader;

    Workbook() = default;
    void readGlobals();
    bool recordAt(qsizetype pos, Record &record) const;
    QString decodeBytes(const char *data, qsizetype length) const;
    [[noreturn]] void damaged(const QString &what) const;

    QString m_path;
    QByteArray m_stream;
    int m_biff = 8;
    bool m_1904 = false;
    int m_codePage = 1252;
    QVector<SheetInfo> m_sheets;
    QVector<DefinedName> m_names;
    std::vector<QString> m_sst;
    std::vector<quint16> m_xfFormats; // number format of every XF, in order
    std::vector<NumberStyle> m_xfStyles; // what each XF's format makes of a number
    std::vector<std::pair<quint16, NumberStyle>> m_formatStyles; // of the FORMAT records
};

// The style a number format string gives a number: dates, times or plain.
NumberStyle styleOfFormatString(const QString &format);
// Style of a built-in format number that no FORMAT record defines.
NumberStyle styleOfBuiltInFormat(int id);

} // namespace engine::xls
