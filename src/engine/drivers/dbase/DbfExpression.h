#pragma once
// The xBase expressions that index files store as their keys and FOR conditions
// (UPPER(LTRIM(TRIM(_SKZ))), TYP + NUMMER, STR(parentid)+objecttype, ...).
// An expression is parsed once against a table's field names and then evaluated
// for each record from that record's field values as xBase sees them: character
// fields at their full width with trailing blanks, blank numbers as 0, dates as
// day numbers. Parsing fails with an EngineError naming the expression when it
// uses something not known here.
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace engine::dbase {

// One xBase value. Dates are Julian day numbers; 0 is the blank date.
struct XValue {
    enum Type : quint8 { Char, Number, Date, Logical };
    Type type = Char;
    bool flag = false;
    bool null = false; // a Visual FoxPro null field (only fields carry it)
    double number = 0; // Number, and the day of a Date
    QString text;      // Char

    static XValue ofText(QString s) { XValue v; v.type = Char; v.text = std::move(s); return v; }
    static XValue ofNumber(double d) { XValue v; v.type = Number; v.number = d; return v; }
    static XValue ofDate(qint64 julianDay) { XValue v; v.type = Date; v.number = double(julianDay); return v; }
    static XValue ofLogical(bool b) { XValue v; v.type = Logical; v.flag = b; return v; }
};

// What an expression reads of one record.
class XRecord {
public:
    virtual ~XRecord() = default;
    virtual XValue field(int index) const = 0;
    virtual bool deleted() const = 0;
    virtual qint64 recordNumber() const = 0; // 1-based
};

class XExpression {
public:
    // Parses text; names are resolved against fieldNames (any case; an alias
    // prefix "table->" is accepted). Throws EngineError with a German message.
    static std::unique_ptr<XExpression> parse(const QString &text, const QStringList &fieldNames);
    ~XExpression();

    XValue evaluate(const XRecord &record) const;
    QString text() const { return m_text; }
    // The fields the expression reads (indexes into fieldNames).
    const std::vector<int> &fields() const { return m_fields; }
    bool usesDeleted() const { return m_usesDeleted; }

    struct Node;

private:
    XExpression() = default;
    QString m_text;
    std::unique_ptr<Node> m_root;
    std::vector<int> m_fields;
    bool m_usesDeleted = false;
};

// STR(n, len, dec) as xBase formats it: right-aligned, rounded, asterisks when
// the number does not fit.
QString xbaseStr(double value, int length, int decimals);

} // namespace engine::dbase
