#include "ADOOpenDialog.h"
#include "WaitCursor.h"

#include "DatabaseTypes.h"
#include "EngineError.h"

#include <QApplication>
#include <QCollator>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

namespace data {

namespace {

// HTML pages are offered with both of their endings, ".htm" and ".html".
const QString DatabasesFilter = QStringLiteral("Datenbanken|*.mdb; *.dbf; *.db; *.xls; *.csv; *.htm; *.html");
const QString DatabasesTitle = QStringLiteral("Datenbanken öffnen");
const QString DatabasesExt = QStringLiteral("*.mdb; *.dbf; *.db; *.xls; *.csv; *.htm; *.html");

// The kind list's indexes the activation selects.
constexpr int KindAccess = dtAccess;
constexpr int KindDBase = dtDBase5;
constexpr int KindParadox = dtParadox5;
constexpr int KindExcel = dtExcel8;
constexpr int KindHtml = dtHTMLimport;
constexpr int KindText = dtText;

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The directory with its trailing separator, as the descriptor names directories.
QString directoryOf(const QString &path)
{
    QString dir = QFileInfo(path).absolutePath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// The extension with its dot, from the last "." of the file name.
QString extensionOf(const QString &path)
{
    const QString name = fileNameOf(path);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot);
}

QString withoutLast(const QString &text, qsizetype count)
{
    return text.left(std::max<qsizetype>(0, text.size() - count));
}

bool isExistingFile(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

QString messageOf(const std::exception &error)
{
    if (const auto *engineError = dynamic_cast<const engine::EngineError *>(&error))
        return engineError->message();
    return QString::fromLocal8Bit(error.what());
}

// Patterns of a filter entry: "*.mdb; *.dbf" gives "*.mdb", "*.dbf".
QStringList patternsOf(const QString &patterns)
{
    QStringList result;
    for (const QString &part : patterns.split(QLatin1Char(';'))) {
        const QString pattern = part.trimmed();
        if (!pattern.isEmpty())
            result << pattern;
    }
    return result;
}

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

QFrame *rule(QWidget *parent, const char *name)
{
    auto *line = new QFrame(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

std::optional<BrowseSettings> browseSettingsForKind(int index)
{
    if (index == dtUndefined)
        return BrowseSettings{DatabasesFilter, DatabasesTitle, DatabasesExt};
    const std::optional<TDatabaseType> kind = databaseTypeFromOrdinal(index);
    if (!kind)
        return std::nullopt;
    if (*kind == dtAccess)
        return BrowseSettings{QStringLiteral("MS-Access Tabellen (*.mdb)|*.mdb"),
                              QStringLiteral("MS-Access Tabelle öffnen"), QStringLiteral("*.mdb")};
    if (isDBaseKind(*kind))
        return BrowseSettings{QStringLiteral("dBASE Tabellen (*.dbf)|*.dbf"), QStringLiteral("dBASE Tabelle öffnen"),
                              QStringLiteral("*.dbf")};
    if (isParadoxKind(*kind))
        return BrowseSettings{QStringLiteral("Paradox Tabellen (*.db)|*.db"), QStringLiteral("Paradox Tabelle öffnen"),
                              QStringLiteral("*.db")};
    if (isExcelKind(*kind))
        return BrowseSettings{QStringLiteral("MS-Excel Tabellen (*.xls)|*.xls"),
                              QStringLiteral("MS-Excel Tabelle öffnen"), QStringLiteral("*.xls")};
    if (*kind == dtHTMLimport)
        return BrowseSettings{QStringLiteral("HTML Tabellen (*.htm *.html)|*.htm; *.html"),
                              QStringLiteral("HTML Tabelle öffnen"), QStringLiteral("*.htm")};
    if (*kind == dtText)
        return BrowseSettings{QStringLiteral("CSV Tabellen (*.csv)|*.csv"), QStringLiteral("CSV Tabelle öffnen"),
                              QStringLiteral("*.csv")};
    return std::nullopt; // HTML export: nothing to open
}

QStringList nameFiltersFromFilter(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = patternsOf(parts.at(i + 1));
        const QString joined = patterns.join(QLatin1Char(' '));
        QString text = parts.at(i).trimmed();
        if (text.isEmpty())
            text = joined;
        // "MS-Access (*.mdb)" already shows its pattern.
        const qsizetype open = text.lastIndexOf(QLatin1Char('('));
        const bool shown = open >= 0 && text.endsWith(QLatin1Char(')'))
                           && patternsOf(text.mid(open + 1, text.size() - open - 2).replace(QLatin1Char(' '), QLatin1Char(';')))
                                  == patterns;
        result << (shown ? text : QStringLiteral("%1 (%2)").arg(text, joined));
    }
    return result;
}

QString defaultSuffixFromExt(const QString &defaultExt)
{
    QString suffix = defaultExt.trimmed();
    if (suffix.startsWith(QLatin1String("*.")))
        suffix = suffix.mid(2);
    else if (suffix.startsWith(QLatin1Char('.')))
        suffix = suffix.mid(1);
    static const QString notPlain = QStringLiteral("*?;[] .");
    for (const QChar c : suffix) {
        if (notPlain.contains(c))
            return QString();
    }
    return suffix;
}

QString ReplaceText(const QString &text, const QString &find, const QString &replacement)
{
    if (find.isEmpty())
        return text;
    QString result;
    qsizetype from = 0;
    for (qsizetype p = text.indexOf(find); p >= 0; p = text.indexOf(find, from)) {
        result += QStringView(text).mid(from, p - from);
        result += replacement;
        from = p + find.size();
    }
    result += QStringView(text).mid(from);
    return result;
}

TFMADOOpenDialog::TFMADOOpenDialog(TKADOopen &owner, QWidget *parent)
    : forms::ActivatingDialog(parent, Placement::ParentCentre, Activation::OncePerShow)
    , m_owner(owner)
{
    setObjectName(QStringLiteral("FMADOOpenDialog"));
    setWindowTitle(QStringLiteral("Tabelle öffnen"));

    auto *heading = new QLabel(QStringLiteral("Tabelle öffnen  "), this);
    heading->setObjectName(QStringLiteral("LBHeading"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    auto *headingRow = new QHBoxLayout;
    headingRow->addWidget(heading);
    headingRow->addWidget(rule(this, "Bevel1"), 1);

    EDDatabase = new QLineEdit(this);
    EDDatabase->setObjectName(QStringLiteral("EDDatabase"));
    SPBOpen = new QToolButton(this);
    SPBOpen->setObjectName(QStringLiteral("SPBOpen"));
    SPBOpen->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    SPBOpen->setAutoRaise(true);
    SPBOpen->setFocusPolicy(Qt::NoFocus); // a speed button takes no focus

    CBDatabaseType = new QComboBox(this);
    CBDatabaseType->setObjectName(QStringLiteral("CBDatabaseType"));
    CBDatabaseType->setEditable(true);
    CBDatabaseType->setInsertPolicy(QComboBox::NoInsert);
    CBDatabaseType->addItems(databaseTypeLabels());
    CBDatabaseType->setCurrentIndex(dtUndefined);

    CBTable = new QComboBox(this);
    CBTable->setObjectName(QStringLiteral("CBTable"));
    CBTable->setEditable(false);
    CBTable->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    CBTable->setMinimumContentsLength(20);

    auto makeLabel = [this](const QString &text, const char *name, QWidget *buddy) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setBuddy(buddy);
        return label;
    };
    auto *fields = new QGridLayout;
    fields->addWidget(makeLabel(QStringLiteral("Datenbank:"), "LBDatabase", EDDatabase), 0, 0);
    auto *databaseRow = new QHBoxLayout;
    databaseRow->setSpacing(2);
    databaseRow->addWidget(EDDatabase, 1);
    databaseRow->addWidget(SPBOpen);
    fields->addLayout(databaseRow, 0, 1);
    fields->addWidget(makeLabel(QStringLiteral("Datenbank-Typ:"), "LBDatabaseType", CBDatabaseType), 1, 0);
    fields->addWidget(CBDatabaseType, 1, 1);
    fields->addWidget(makeLabel(QStringLiteral("Tabelle:"), "LBTable", CBTable), 2, 0);
    fields->addWidget(CBTable, 2, 1);
    fields->setColumnStretch(1, 1);

    BTOk = new QPushButton(QStringLiteral("OK"), this);
    BTOk->setObjectName(QStringLiteral("BTOk"));
    BTOk->setDefault(true);
    BTCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    BTCancel->setObjectName(QStringLiteral("BTCancel"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BTOk);
    buttons->addWidget(BTCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(headingRow);
    layout->addLayout(fields);
    layout->addStretch(1);
    layout->addWidget(rule(this, "Bevel2"));
    layout->addLayout(buttons);
    setMinimumWidth(420);

    connect(BTOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(BTCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(SPBOpen, &QToolButton::clicked, this, &TFMADOOpenDialog::SPBOpenClick);
    // Only the user's choice of a kind changes the browse dialog; the kind the
    // activation shows does not.
    connect(CBDatabaseType, &QComboBox::activated, this, &TFMADOOpenDialog::CBDatabaseTypeChange);
}

void TFMADOOpenDialog::FormActivate()
{
    const widgets::WaitCursor wait;
    QCoreApplication::processEvents();
    const QString text = EDDatabase->text();
    if (isExistingFile(text))
        activateForFile(text);
    else
        activateForSource();
}

// The database text names a file: re-point the descriptor at the picked file,
// list its data source and show kind and table for the file.
void TFMADOOpenDialog::activateForFile(const QString &databaseText)
{
    const QString extension = extensionOf(databaseText).toLower();
    OpenDialog.Filter = DatabasesFilter;
    OpenDialog.Title = DatabasesTitle;
    OpenDialog.DefaultExt = DatabasesExt;
    try {
        // Nothing picked (the chooser was started for an Access or Excel file the
        // descriptor already points at): the empty name only closes the dataset
        // and the connection, and the file's tables are listed again.
        m_owner.AssignDatabaseFile(OpenDialog.FileName);
        QStringList names;
        m_owner.GetTableNames(names);
        setTables(names, extension == QLatin1String(".csv"));

        const QString file = OpenDialog.FileName.isEmpty() ? databaseText : OpenDialog.FileName;
        const QString name = fileNameOf(file);
        const QString directory = directoryOf(file);
        if (extension == QLatin1String(".mdb")) {
            CBDatabaseType->setCurrentIndex(KindAccess);
            CBTable->setCurrentIndex(0);
        } else if (extension == QLatin1String(".dbf")) {
            CBDatabaseType->setCurrentIndex(KindDBase);
            EDDatabase->setText(directory);
            selectTable(withoutLast(name, 4));
        } else if (extension == QLatin1String(".db")) {
            CBDatabaseType->setCurrentIndex(KindParadox);
            EDDatabase->setText(directory);
            selectTable(withoutLast(name, 3));
        } else if (extension == QLatin1String(".csv")) {
            CBDatabaseType->setCurrentIndex(KindText);
            EDDatabase->setText(directory);
            selectTable(name);
        } else if (extension == QLatin1String(".htm") || extension == QLatin1String(".html")) {
            // The engine lists a page's tables by the page's file name ("seite.htm",
            // then "seite.htm#2" ...): the page's first table is preselected.
            CBDatabaseType->setCurrentIndex(KindHtml);
            EDDatabase->setText(directory);
            selectTable(name);
        } else if (extension == QLatin1String(".xls")) {
            CBDatabaseType->setCurrentIndex(KindExcel);
            removeWorksheets();
            CBTable->setCurrentIndex(0);
        }
    } catch (const std::exception &error) {
        showError(messageOf(error));
    }
}

// A directory, an empty text or a missing file: the tables of the data source
// the descriptor points at. Errors leave the list empty, silently.
void TFMADOOpenDialog::activateForSource()
{
    CBTable->clear();
    CBTable->setPlaceholderText(QString());
    try {
        QStringList names;
        m_owner.GetTableNames(names);
        // The engine lists text tables as name#csv; they are shown as file names.
        setTables(names, m_owner.DatabaseType() == dtText);
        CBTable->setCurrentIndex(0);
        CBDatabaseType->setCurrentIndex(int(m_owner.DatabaseType()));
    } catch (const std::exception &) {
        // Nothing to list from: a named source still gets a word, not a bare list.
        if (!EDDatabase->text().trimmed().isEmpty())
            CBTable->setPlaceholderText(noTablesText(EDDatabase->text()));
    }
}

void TFMADOOpenDialog::setTables(QStringList names, bool hashAsDot)
{
    if (hashAsDot) {
        for (QString &name : names)
            name = ReplaceText(name, QStringLiteral("#"), QStringLiteral("."));
    }
    QCollator collator{QLocale(QLocale::German, QLocale::Germany)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(), [&collator](const QString &a, const QString &b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
    CBTable->clear();
    CBTable->addItems(names);
    CBTable->setCurrentIndex(-1);
    // An empty list is never shown without a word: the source has no table.
    CBTable->setPlaceholderText(names.isEmpty() ? noTablesText(m_owner.GivenDatabaseName()) : QString());
}

// Linux file names are case-sensitive, and a folder may hold KUNDEN.DBF beside
// kunden.dbf: the table named exactly like the picked file is selected; only
// when there is none, the last one matching without regard to case.
void TFMADOOpenDialog::selectTable(const QString &text)
{
    int found = CBTable->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (found < 0) {
        const QString upperText = upperName(text);
        for (int i = 0; i < CBTable->count(); ++i) {
            if (upperName(CBTable->itemText(i)) == upperText)
                found = i;
        }
    }
    CBTable->setCurrentIndex(found);
}

// A workbook lists its worksheets ("Name$") beside its named ranges. The named
// ranges are its tables; a workbook without any offers its worksheets.
void TFMADOOpenDialog::removeWorksheets()
{
    bool hasRange = false;
    for (int i = 0; i < CBTable->count(); ++i)
        hasRange = hasRange || !CBTable->itemText(i).contains(QLatin1Char('$'));
    if (!hasRange)
        return;
    for (int i = CBTable->count() - 1; i >= 0; --i) {
        if (CBTable->itemText(i).contains(QLatin1Char('$')))
            CBTable->removeItem(i);
    }
}

void TFMADOOpenDialog::SPBOpenClick()
{
    const QString picked = BrowseHook ? BrowseHook(*this) : runFileDialog();
    if (picked.isEmpty())
        return;
    OpenDialog.FileName = picked;
    EDDatabase->setText(picked);
    FormActivate();
}

QString TFMADOOpenDialog::runFileDialog()
{
    QFileDialog dialog(this, OpenDialog.Title);
    dialog.setObjectName(QStringLiteral("OpenDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFiltersFromFilter(OpenDialog.Filter));
    dialog.setDefaultSuffix(defaultSuffixFromExt(OpenDialog.DefaultExt));
    // Start where the database text points.
    const QFileInfo current(EDDatabase->text());
    if (!EDDatabase->text().isEmpty() && current.exists())
        dialog.setDirectory(current.isDir() ? current.absoluteFilePath() : current.absolutePath());
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
}

void TFMADOOpenDialog::CBDatabaseTypeChange()
{
    if (const std::optional<BrowseSettings> settings = browseSettingsForKind(CBDatabaseType->currentIndex())) {
        OpenDialog.Filter = settings->Filter;
        OpenDialog.Title = settings->Title;
        OpenDialog.DefaultExt = settings->DefaultExt;
    }
}

void TFMADOOpenDialog::showError(const QString &message)
{
    if (ErrorHook) {
        ErrorHook(message);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("brisvel ostrel 2005"), errorBoxText(message),
                    QMessageBox::Ok, this);
    box.exec();
}

QString noTablesText(const QString &source)
{
    return QStringLiteral("In %1 gibt es keine Tabelle.").arg(QDir::toNativeSeparators(source));
}

void installTablesDialog(TKADOopen &descriptor, QWidget *parent, TablesDialogRunner runner)
{
    const QPointer<QWidget> owner(parent);
    descriptor.TablesDialogHook = [owner, runner](TKADOopen &chooser) -> std::optional<QString> {
        TFMADOOpenDialog dialog(chooser, owner.data());
        dialog.EDDatabase->setText(chooser.GivenDatabaseName());
        const int result = runner ? runner(dialog) : dialog.exec();
        if (result != QDialog::Accepted)
            return std::nullopt;
        return dialog.CBTable->currentText();
    };
}

} // namespace data
