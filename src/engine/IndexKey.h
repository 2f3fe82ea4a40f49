#pragma once
// The key of an index as text, for the quick search: computed from a row's
// field values with the index's key expression. A capability of the table
// (TableSource::indexKey), answered by kinds whose indexes have expressions.
#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

namespace engine {

class TableSource;

class IndexKeyText {
public:
    // Nothing when the table cannot compute the keys of this index.
    static std::unique_ptr<IndexKeyText> forIndex(TableSource *source, const QString &indexName);
    virtual ~IndexKeyText() = default;
    // The fields the key reads (numbers in the table's field list).
    virtual QVector<int> fields() const = 0;
    // The key of one row from its values (value(field) is asked for fields() only);
    // character keys without trailing blanks.
    virtual QString text(const std::function<QVariant(int)> &value) const = 0;
    // Whether the index order sorts the keys so that a case-insensitive binary
    // search finds the first match: an ascending key upper- or lower-cased whole.
    virtual bool searchable() const = 0;
    // The character field whose text the key is, unchanged (the key expression
    // names that field and nothing else), so a walk may compare its stored text;
    // -1 where the key is computed.
    virtual int plainTextField() const { return -1; }
};

} // namespace engine
