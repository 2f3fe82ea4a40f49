#include "StructureDialog.h"

#include "EngineError.h"
#include "PageWriter.h"
#include "PrintJob.h"
#include "StructurePrint.h"
#include "StructureRows.h"
#include "TableDataset.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace structure {

namespace {

QTableWidget *makeGrid(QWidget *parent, const char *name, std::initializer_list<int> widths)
{
    auto *grid = new QTableWidget(parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setColumnCount(int(widths.size()));
    int column = 0;
    for (int w : widths)
        grid->setColumnWidth(column++, w);
    // Row 0 keeps the heading texts; the header shows them, fixed above the
    // rows, so that they neither scroll away nor can be selected.
    grid->horizontalHeader()->setSectionsClickable(false);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->horizontalHeader()->setFixedHeight(18);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(18);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return grid;
}

QPushButton *button(QWidget *parent, const char *name, const QString &text)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

TFMStruktur::TFMStruktur(engine::TableDataset *table, QWidget *parent) : QDialog(parent), m_table(table)
{
    setObjectName(QStringLiteral("FMStruktur"));
    setWindowTitle(QStringLiteral("Tabellenstruktur"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto *fields = new QWidget;
    fields->setObjectName(QStringLiteral("TabSheet1"));
    LBStru = new QLabel(QStringLiteral("Tabellenstruktur: "), fields);
    LBStru->setObjectName(QStringLiteral("LBStru"));
    STGStruktur = makeGrid(fields, "STGStruktur", {30, 143, 121, 68});
    BTNewField = button(fields, "BTNewField", QStringLiteral("&Neu..."));
    BTDeleteField = button(fields, "BTDeleteField", QStringLiteral("&Löschen"));
    auto *fieldsLayout = new QGridLayout(fields);
    fieldsLayout->addWidget(LBStru, 0, 0, 1, 2);
    fieldsLayout->addWidget(STGStruktur, 1, 0, 3, 1);
    fieldsLayout->addWidget(BTNewField, 1, 1);
    fieldsLayout->addWidget(BTDeleteField, 2, 1);
    PageControl1->addTab(fields, QStringLiteral("Felder"));

    auto *indexes = new QWidget;
    indexes->setObjectName(QStringLiteral("TabSheet2"));
    LBInd = new QLabel(QStringLiteral("Verfügbare Indizes:"), indexes);
    LBInd->setObjectName(QStringLiteral("LBInd"));
    STGIndex = makeGrid(indexes, "STGIndex", {30, 96, 99, 174});
    // The note lies under the grid and is seen only while the grid is hidden.
    Label4 = new QLabel(QStringLiteral("Keine Indizes verfügbar!"), indexes);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setAlignment(Qt::AlignCenter);
    BTAuswaehlen = button(indexes, "BTAuswaehlen", QStringLiteral("&Auswählen"));
    BTNoSort = button(indexes, "BTNoSort", QStringLiteral("&Keine Sortierung"));
    auto *indexLayout = new QGridLayout(indexes);
    indexLayout->addWidget(LBInd, 0, 0, 1, 2);
    indexLayout->addWidget(Label4, 1, 0, 3, 1);
    indexLayout->addWidget(STGIndex, 1, 0, 3, 1);
    indexLayout->addWidget(BTAuswaehlen, 1, 1);
    indexLayout->addWidget(BTNoSort, 2, 1);
    PageControl1->addTab(indexes, QStringLiteral("Indizes"));

    auto *bottom = new QGroupBox(this);
    Label9 = new QLabel(QStringLiteral("Satzgröße:"), bottom);
    Label9->setObjectName(QStringLiteral("Label9"));
    LBSatzgr = new QLabel(bottom);
    LBSatzgr->setObjectName(QStringLiteral("LBSatzgr"));
    LBSatzgr->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1 = new QLabel(QStringLiteral("Satzanzahl:"), bottom);
    Label1->setObjectName(QStringLiteral("Label1"));
    LBSatzanz = new QLabel(bottom);
    LBSatzanz->setObjectName(QStringLiteral("LBSatzanz"));
    LBSatzanz->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto *bottomLayout = new QGridLayout(bottom);
    bottomLayout->addWidget(Label9, 0, 0);
    bottomLayout->addWidget(LBSatzgr, 0, 1);
    bottomLayout->addWidget(Label1, 1, 0);
    bottomLayout->addWidget(LBSatzanz, 1, 1);

    BTPrintsetup = button(this, "BTPrintsetup", QStringLiteral("Druckereinstellungen..."));
    BTPrint = button(this, "BTPrint", QStringLiteral("Drucken"));
    Button1 = button(this, "Button1", QStringLiteral("OK"));
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(BTPrintsetup);
    buttons->addWidget(BTPrint);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addWidget(bottom);
    layout->addLayout(buttons);
    setFixedSize(520, 430);

    connect(BTAuswaehlen, &QPushButton::clicked, this, [this] { guarded([this] { BTAuswaehlenClick(); }); });
    connect(STGIndex, &QTableWidget::cellDoubleClicked, this, [this] { guarded([this] { BTAuswaehlenClick(); }); });
    connect(BTNoSort, &QPushButton::clicked, this, [this] { guarded([this] { BTNoSortClick(); }); });
    connect(BTPrint, &QPushButton::clicked, this, [this] { guarded([this] { BTPrintClick(); }); });
    connect(BTPrintsetup, &QPushButton::clicked, this, [this] {
        guarded([this] {
            if (onPrintSetup)
                onPrintSetup();
        });
    });
    FormCreate();
}

void TFMStruktur::guarded(const std::function<void()> &action)
{
    try {
        action();
    } catch (const engine::EngineError &e) {
        if (onError)
            onError(e.message());
    }
}

void TFMStruktur::AddEintrag(QTableWidget *grid, int &counter, const QStringList &cells)
{
    if (grid->rowCount() <= counter)
        grid->setRowCount(counter + 1);
    for (int c = 0; c < 4; ++c)
        grid->setItem(counter, c, new QTableWidgetItem(cells.value(c)));
    if (counter == 0) {
        grid->setHorizontalHeaderLabels(cells);
        grid->setRowHidden(0, true);
    }
    ++counter;
}

void TFMStruktur::FormCreate()
{
    m_fieldRow = 0;
    m_indexRow = 0;
    STGStruktur->setRowCount(1);
    AddEintrag(STGStruktur, m_fieldRow, fieldHeading());
    STGIndex->setRowCount(1);
    AddEintrag(STGIndex, m_indexRow, {QStringLiteral("Nr"), QStringLiteral("Indexname"), QStringLiteral("Felder"),
                                      QStringLiteral("Typ")});
    if (m_table && m_table->Active()) {
        ReadFields();
        ReadIndizes();
    }
}

void TFMStruktur::ReadFields()
{
    m_fieldRow = 0;
    AddEintrag(STGStruktur, m_fieldRow, fieldHeading());
    if (!m_table || !m_table->Active())
        return;
    STGStruktur->setRowCount(m_table->FieldCount() + 1);
    for (const Row &row : fieldRows(*m_table))
        AddEintrag(STGStruktur, m_fieldRow, row);
}

void TFMStruktur::ReadIndizes()
{
    m_indexRow = 0;
    AddEintrag(STGIndex, m_indexRow, indexHeading());
    const QVector<Row> rows = m_table ? indexRows(*m_table) : QVector<Row>();
    if (rows.isEmpty()) {
        LBInd->setText(QStringLiteral("Verfügbare Indizes:"));
        STGIndex->setRowCount(1);
        STGIndex->hide();
        Label4->show();
        BTAuswaehlen->setEnabled(false);
        return;
    }
    STGIndex->setRowCount(int(rows.size()) + 1);
    LBInd->setText(QStringLiteral("Verfügbare Indizes: ") + m_table->indexDefs().Items(0).source.toLower());
    for (const Row &row : rows)
        AddEintrag(STGIndex, m_indexRow, row);
    STGIndex->selectRow(1);
    STGIndex->show();
    // The note stands only where the list is missing, never across it.
    Label4->hide();
    BTAuswaehlen->setEnabled(true);
}

void TFMStruktur::BTAuswaehlenClick()
{
    const int row = STGIndex->currentRow();
    if (row > 0 && m_table) {
        m_table->Close();
        m_table->setIndexName(STGIndex->item(row, 1)->text());
        m_table->Open();
    }
    ReadIndizes();
}

QVector<QStringList> TFMStruktur::listedRows(const QTableWidget *grid)
{
    QVector<QStringList> rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c) {
            const QTableWidgetItem *item = grid->item(r, c);
            cells << (item ? item->text() : QString());
        }
        if (!cells.first().isEmpty() && cells.first().front().isDigit())
            rows.append(cells);
    }
    return rows;
}

void TFMStruktur::BTPrintClick()
{
    print::StructurePrintout printout;
    printout.databaseName = CurrentDatabaseName;
    printout.tableName = CurrentTableName;
    // Without an open table the header block keeps its values empty.
    if (m_table && m_table->Active()) {
        printout.recordCount = TableRecordCount;
        printout.recordSize = m_table->RecordSize();
        if (m_table->indexDefs().Count() > 0)
            printout.firstIndexSource = m_table->indexDefs().Items(0).source;
    }
    printout.fieldRows = listedRows(STGStruktur);
    printout.indexRows = listedRows(STGIndex);
    const int fontSize = print::effectivePrintFontSize(printFontSize ? printFontSize() : 0);
    print::runPrintJob(this, CurrentTableName, [&printout, fontSize](print::PrintCanvas &canvas) {
        print::printStructure(canvas, printout, fontSize);
    });
}

void TFMStruktur::BTNoSortClick()
{
    if (m_table)
        m_table->setIndexName(QString());
    ReadIndizes();
}

} // namespace structure
