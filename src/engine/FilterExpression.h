#pragma once
// A table filter: the expression a user types ("NAME = 'Müller*' AND YEAR >= 1990"),
// read once against the table's fields and then evaluated per record. Reading
// resolves field names, converts every constant to the field's type and folds
// its case in advance, so evaluation only compares. docs/filter.md has the syntax.
#include "Driver.h"

#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>
#include <vector>

namespace engine {

class RawCellSource;
struct Utf8Table;

// The same alias TableDataset.h declares; repeated so this header stays light.
using TFilterOptions = int;

class FilterExpression {
public:
    struct Node;
    FilterExpression();
    ~FilterExpression();
    FilterExpression(const FilterExpression &other);
    FilterExpression &operator=(const FilterExpression &other);
    FilterExpression(FilterExpression &&) noexcept;
    FilterExpression &operator=(FilterExpression &&) noexcept;

    // Throws EngineError "Fehler im Filterausdruck an Position N: ..." when the
    // text cannot be read. A blank text gives an expression that matches every record.
    static FilterExpression parse(const QString &text, const QVector<FieldDef> &fields);

    // valueOf(i) gives field i's engine value (QString, qint64, double, QDate,
    // QDateTime, QTime, bool; an invalid QVariant for null). It is asked only for
    // the fields the expression needs, and only as far as AND/OR need to look.
    bool matches(const std::function<QVariant(int field)> &valueOf, TFilterOptions options) const;
    // The same for row of a source that hands out its cells as stored: cells in
    // a plain form are compared as they lie, the others are asked of valueOf.
    bool matches(RawCellSource &cells, RowId row, const std::function<QVariant(int field)> &valueOf,
                 TFilterOptions options) const;

    // The same for row index of the rows source.gatherRows() read last, with the
    // fields of fieldsUsed(): only the cells AND and OR look at are made.
    bool matchesGathered(RawCellSource &source, qsizetype index, const Utf8Table *table,
                         const std::function<QVariant(int field)> &valueOf, TFilterOptions options) const;

    // Indexes into the field list given to parse(), ascending, each once.
    QVector<int> fieldsUsed() const;
    bool isEmpty() const { return m_root < 0; }
    QString text() const { return m_text; }

private:
    struct Cells {
        RawCellSource *source = nullptr;
        RowId row = -1;
        const Utf8Table *table = nullptr;
        RawCellSource *gathered = nullptr; // gatheredCell(index, slot) in the order of fieldsUsed()
        qsizetype index = 0;
    };
    bool eval(int node, const std::function<QVariant(int)> &valueOf, TFilterOptions options, const Cells &cells) const;

    QString m_text;
    std::vector<Node> m_nodes;
    int m_root = -1;
    std::vector<int> m_slotOf; // each used field's place in fieldsUsed(), by field number
    friend class FilterParser;
};

} // namespace engine
