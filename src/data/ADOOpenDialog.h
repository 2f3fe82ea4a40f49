#pragma once
// TFMADOOpenDialog, the open-table dialog: the descriptor's table chooser. It
// shows the database (file or directory), the database kind and the tables of
// the data source; the browse button picks another file and re-points the
// descriptor at it. The dialog exists only while the chooser runs.
#include "ActivatingDialog.h"
#include "KADOopen.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace data {

// Filters in the "Text|patterns|Text|patterns" form the dialog keeps.
inline const QString AllDatabasesOpenFilter = QStringLiteral(
    "Alle Datenbanken|*.mdb; *.dbf; *.db; *.xls; *.csv; *.htm; *.html|MS-Access (*.mdb)|*.mdb|"
    "dBASE, FoxPro (*.dbf)|*.dbf|Paradox (*.db)|*.db|MS-Excel (*.xls)|*.xls|"
    "CSV Text Tabellen (*.csv)|*.csv|HTML Tabellen (*.htm *.html)|*.htm; *.html");

// The state of the browse dialog, kept between its uses inside one open-table dialog.
struct TOpenDialog {
    QString Title = QStringLiteral("Datenbank öffnen");
    QString Filter = AllDatabasesOpenFilter;
    QString DefaultExt;
    QString FileName; // the file picked last; empty until one is picked
};

// Filter, title and default extension of the browse dialog for one kind.
struct BrowseSettings {
    QString Filter;
    QString Title;
    QString DefaultExt;
};

// The browse settings for the kind list's index; nullopt where nothing changes
// (HTML export and indexes outside the list).
std::optional<BrowseSettings> browseSettingsForKind(int index);

// "Text|patterns|..." as QFileDialog name filters: "Text (pattern pattern)".
// A text that already ends with its patterns in parentheses is kept as it is.
QStringList nameFiltersFromFilter(const QString &filter);

// The suffix for QFileDialog::setDefaultSuffix: "*.mdb" gives "mdb"; a default
// extension naming several kinds or patterns gives none.
QString defaultSuffixFromExt(const QString &defaultExt);

// Every occurrence of find in text replaced by replacement, left to right; the
// replacement is not searched again, and an empty find changes nothing.
QString ReplaceText(const QString &text, const QString &find, const QString &replacement);

class TFMADOOpenDialog : public forms::ActivatingDialog {
    Q_OBJECT
public:
    // owner: the descriptor whose chooser the dialog is; it is re-pointed and
    // asked for table names while the dialog runs.
    explicit TFMADOOpenDialog(TKADOopen &owner, QWidget *parent = nullptr);

    TKADOopen &owner() const { return m_owner; }

    QLineEdit *EDDatabase;
    QToolButton *SPBOpen;
    QComboBox *CBDatabaseType;
    QComboBox *CBTable;
    QPushButton *BTOk;
    QPushButton *BTCancel;

    TOpenDialog OpenDialog;

    // Picks a file for SPBOpen and returns its full name, empty when the user
    // cancelled. Unset: the file dialog, set up from OpenDialog.
    std::function<QString(TFMADOOpenDialog &)> BrowseHook;
    // Shows an engine message of the file branch of the activation. Unset: an
    // error box like the application's default one (caption "brisvel ostrel
    // 2005", error icon, a full stop after a message ending in a letter or digit).
    std::function<void(const QString &)> ErrorHook;

    // Fills the table list and shows the kind for the database text; runs when
    // the dialog is shown and after a file was picked.
    void FormActivate() override;
    // Browses for a file; a picked file becomes the database text and the
    // activation step runs for it.
    void SPBOpenClick();
    // Sets the browse dialog's filter, title and default extension for the kind
    // chosen in CBDatabaseType. The kind used is always derived from the file.
    void CBDatabaseTypeChange();

private:
    void activateForFile(const QString &databaseText);
    void activateForSource();
    // Replaces the table list (sorted) with names; no table is selected.
    void setTables(QStringList names, bool hashAsDot);
    // Selects the table named text: exactly, else the last one equal in upper
    // case; none when no table matches.
    void selectTable(const QString &text);
    void removeWorksheets();
    QString runFileDialog();
    void showError(const QString &message);

    TKADOopen &m_owner;
};

// How installTablesDialog shows the dialog: returns the dialog's result
// (QDialog::Accepted for "OK"). Unset: exec().
using TablesDialogRunner = std::function<int(TFMADOOpenDialog &)>;

// Makes the open-table dialog the descriptor's table chooser: each time the
// chooser runs, the dialog is created over parent with EDDatabase set to the
// descriptor's GivenDatabaseName, shown modally, and destroyed again; on "OK"
// the text of CBTable is the chosen table.
// What the table list says when a data source has no table.
QString noTablesText(const QString &source);

void installTablesDialog(TKADOopen &descriptor, QWidget *parent, TablesDialogRunner runner = {});

} // namespace data
