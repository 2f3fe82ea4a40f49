#pragma once
// One table of an HTML page, read whole when it is opened (pages are small):
// the first row gives the field names, the others are the rows. Column types
// are the ones our own writer notes on the headings, else guessed from the
// values the way text tables guess them.
#include "Driver.h"
#include "HtmlPage.h"

namespace engine::html {

class HtmlTable final : public TableSource {
public:
    // number: 1-based table of the page; throws EngineError when there is none.
    static std::unique_ptr<HtmlTable> open(const QString &path, const QString &tableName, int number);

    QString tableName() const override { return m_tableName; }
    QString fileName() const override { return m_path; }
    const QVector<FieldDef> &fieldDefs() const override { return m_defs; }

    qint64 rowCount() override { return m_rows.size(); }
    RowId rowAt(qint64 position) override;
    qint64 positionOf(RowId row) override { return row >= 0 && row < m_rows.size() ? row : -1; }
    QVariant value(RowId row, int field) override;

    QString readOnlyReason() const override;
    QList<QPair<QString, QString>> facts() const override { return m_facts; }
    QList<QPair<QString, QVariant>> connectionProperties() const override;

private:
    HtmlTable() = default;

    QString m_path;
    QString m_tableName;
    QString m_charset;
    QVector<FieldDef> m_defs;
    QVector<QVector<QVariant>> m_rows;
    QList<QPair<QString, QString>> m_facts;
};

// The engine type our writer notes on a heading as data-type, and back.
QString typeKey(TFieldType type);
TFieldType typeFromKey(const QString &key, bool *ok);

} // namespace engine::html
