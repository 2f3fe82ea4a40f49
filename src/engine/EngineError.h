#pragma once
// Every engine failure is one of these, carrying a German message a user can act
// on and the kind of failure, so callers decide by kind rather than by words.
#include <QString>
#include <stdexcept>

namespace engine {

enum class ErrorKind {
    General,        // a request the engine cannot serve in its present state
    NotFound,       // a file, table, field or index that is not there
    Damaged,        // a file whose content does not add up
    Locked,         // another program holds the table; waiting was given up
    ChangedByOther, // another program changed or removed what was being changed
    RefusedValue,   // a value that does not fit its field
    Unsupported,    // a kind, statement or feature this program does not handle
    Io,             // the operating system refused to read, write or sync
};

class EngineError : public std::runtime_error {
public:
    explicit EngineError(const QString &message) : EngineError(ErrorKind::General, message) {}
    EngineError(ErrorKind kind, const QString &message)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message) {}
    ErrorKind kind() const { return m_kind; }
    const QString &message() const { return m_message; }

private:
    ErrorKind m_kind;
    QString m_message;
};

// A dataset error: "<dataset name>: <text>" as dataset errors have always read.
inline EngineError datasetError(const QString &datasetName, const QString &text,
                                ErrorKind kind = ErrorKind::General)
{
    if (datasetName.isEmpty())
        return EngineError(kind, text);
    return EngineError(kind, QStringLiteral("%1: %2").arg(datasetName, text));
}

namespace msg {
inline QString closedDataset() { return QStringLiteral("Operation bei geschlossener Datenmenge nicht ausführbar"); }
inline QString emptyDataset() { return QStringLiteral("Operation bei leerer Datenmenge nicht ausführbar"); }
inline QString notEditing() { return QStringLiteral("Datenmenge befindet sich nicht im Bearbeitungs- oder Einfügemodus"); }
inline QString openDataset() { return QStringLiteral("Operation bei geöffneter Datenmenge nicht ausführbar"); }
inline QString fieldNotFound(const QString &name) { return QStringLiteral("Feld '%1' nicht gefunden").arg(name); }
inline QString indexNotFound(const QString &name) { return QStringLiteral("Index '%1' nicht gefunden").arg(name); }
inline QString invalidInteger(const QString &text) { return QStringLiteral("'%1' ist kein gültiger Integerwert").arg(text); }
inline QString invalidFloat(const QString &text) { return QStringLiteral("'%1' ist kein gültiger Gleitkommawert").arg(text); }
inline QString invalidDate(const QString &text) { return QStringLiteral("'%1' ist kein gültiges Datum").arg(text); }
inline QString invalidDateTime(const QString &text) { return QStringLiteral("'%1' ist kein gültiger Zeitstempel").arg(text); }
inline QString invalidTime(const QString &text) { return QStringLiteral("'%1' ist keine gültige Uhrzeit").arg(text); }
inline QString invalidBoolean(const QString &text) { return QStringLiteral("'%1' ist kein gültiger Boolescher Wert").arg(text); }
} // namespace msg

} // namespace engine
