#include "DbfTable.h"
#include "EngineError.h"

#include <QRegularExpression>

namespace engine::dbase {

namespace {

class DbfKeyText final : public IndexKeyText {
public:
    DbfKeyText(const DbfTable *table, const XExpression *expression, bool descending)
        : m_table(table), m_expression(expression), m_descending(descending)
    {
    }
    QVector<int> fields() const override
    {
        QVector<int> out;
        for (const int f : m_expression->fields())
            out << f;
        return out;
    }
    QString text(const std::function<QVariant(int)> &value) const override
    {
        struct Values final : XRecord {
            const DbfTable *table;
            const std::function<QVariant(int)> *value;
            XValue field(int index) const override { return table->xbaseFromValue(index, (*value)(index)); }
            bool deleted() const override { return false; }
            qint64 recordNumber() const override { return 0; }
        } record;
        record.table = m_table;
        record.value = &value;
        return DbfTable::keyText(m_expression->evaluate(record));
    }
    bool searchable() const override
    {
        static const QRegularExpression folded(QStringLiteral("^\\s*(UPPER|LOWER)\\s*\\(.*\\)\\s*$"),
                                               QRegularExpression::CaseInsensitiveOption);
        return !m_descending && folded.match(m_expression->text()).hasMatch();
    }
    int plainTextField() const override
    {
        // A character field's key is its value padded and trimmed again: the value's text.
        const std::vector<int> &used = m_expression->fields();
        if (used.size() != 1)
            return -1;
        const FieldDef &field = m_table->fieldDefs().at(used.front());
        const bool character = field.dataType == ftString || field.dataType == ftFixedChar;
        return character && m_expression->text().trimmed().compare(field.name, Qt::CaseInsensitive) == 0 ? used.front() : -1;
    }

private:
    const DbfTable *m_table;
    const XExpression *m_expression;
    bool m_descending;
};

} // namespace

std::unique_ptr<IndexKeyText> DbfTable::indexKey(const QString &indexName)
{
    try {
        bool descending = false;
        const XExpression *expression = keyExpression(indexName, &descending);
        return std::make_unique<DbfKeyText>(this, expression, descending);
    } catch (const EngineError &) {
        return nullptr;
    }
}

} // namespace engine::dbase
