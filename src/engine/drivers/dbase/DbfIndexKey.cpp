#include "DbfIndexKey.h"

#include "DbfTable.h"
#include "EngineError.h"

#include <QRegularExpression>

namespace engine {

namespace {

class DbfKeyText final : public IndexKeyText {
public:
    DbfKeyText(const dbase::DbfTable *table, const dbase::XExpression *expression, bool descending)
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
        struct Values final : dbase::XRecord {
            const dbase::DbfTable *table;
            const std::function<QVariant(int)> *value;
            dbase::XValue field(int index) const override { return table->xbaseFromValue(index, (*value)(index)); }
            bool deleted() const override { return false; }
            qint64 recordNumber() const override { return 0; }
        } record;
        record.table = m_table;
        record.value = &value;
        return dbase::DbfTable::keyText(m_expression->evaluate(record));
    }
    bool searchable() const override
    {
        static const QRegularExpression folded(QStringLiteral("^\\s*(UPPER|LOWER)\\s*\\(.*\\)\\s*$"),
                                               QRegularExpression::CaseInsensitiveOption);
        return !m_descending && folded.match(m_expression->text()).hasMatch();
    }

private:
    const dbase::DbfTable *m_table;
    const dbase::XExpression *m_expression;
    bool m_descending;
};

} // namespace

std::unique_ptr<IndexKeyText> IndexKeyText::forIndex(TableSource *source, const QString &indexName)
{
    auto *table = dynamic_cast<dbase::DbfTable *>(source);
    if (!table)
        return nullptr;
    try {
        bool descending = false;
        const dbase::XExpression *expression = table->keyExpression(indexName, &descending);
        return std::make_unique<DbfKeyText>(table, expression, descending);
    } catch (const EngineError &) {
        return nullptr;
    }
}

} // namespace engine
