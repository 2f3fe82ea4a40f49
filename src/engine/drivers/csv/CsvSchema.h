#pragma once
// schema.ini, the file beside text tables that describes them in sections named
// after the table files ([kunden.csv]). Read and written line by line so that
// sections and comments of other tables survive an update (QSettings would
// rewrite and re-escape the whole file).
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace engine::csv {

struct SchemaColumn {
    int number = 0; // N of ColN
    QString name;
    QString type;
    int width = 0;
};

struct SchemaSection {
    QList<QPair<QString, QString>> entries; // in file order
    QString value(const QString &key) const; // case-insensitive, empty when missing
    bool has(const QString &key) const;
    QList<SchemaColumn> columns() const;     // ColN entries ordered by N
};

class SchemaIni {
public:
    // Reads dir/schema.ini (any spelling of the name); empty when there is none.
    static SchemaIni load(const QString &directory);
    std::optional<SchemaSection> section(const QString &fileName) const;
    // Replaces or adds the section for fileName, keeping every other line.
    void setSection(const QString &fileName, const QList<QPair<QString, QString>> &entries);
    // The file's text, to be written in place of the old one.
    QByteArray content() const;
    QString path() const { return m_path; }

private:
    QString m_path;
    QStringList m_lines;
};

// "Name" or "\"Name with blanks\"" followed by the type and "Width n".
SchemaColumn parseColumnEntry(int number, const QString &value);
QString columnEntry(const QString &name, const QString &type, int width);

} // namespace engine::csv
