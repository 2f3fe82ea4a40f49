#pragma once
// TFMStruktur: the open table's fields and indexes, its record size and count;
// an index can be made the sort order here. Created for each use.
#include <QDialog>
#include <QStringList>
#include <QVector>
#include <functional>

class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

namespace engine {
class TableDataset;
}

namespace structure {

class TFMStruktur : public QDialog {
    Q_OBJECT
public:
    TFMStruktur(engine::TableDataset *table, QWidget *parent = nullptr);

    QTabWidget *PageControl1;
    QLabel *LBStru;
    QTableWidget *STGStruktur;
    QPushButton *BTNewField;
    QPushButton *BTDeleteField;
    QLabel *LBInd;
    QLabel *Label4;
    QTableWidget *STGIndex;
    QPushButton *BTAuswaehlen;
    QPushButton *BTNoSort;
    QLabel *Label9;
    QLabel *LBSatzgr;
    QLabel *Label1;
    QLabel *LBSatzanz;
    QPushButton *BTPrintsetup;
    QPushButton *BTPrint;
    QPushButton *Button1;

    void ReadFields();
    void ReadIndizes();
    // Writes four texts into the counter's row and moves the counter on.
    static void AddEintrag(QTableWidget *grid, int &counter, const QStringList &cells);
    void BTAuswaehlenClick();
    void BTNoSortClick();

    // What the printout needs from the main window, handed in when the dialog is made.
    QString CurrentDatabaseName;
    QString CurrentTableName;
    qint64 TableRecordCount = 0;
    std::function<int()> printFontSize; // the print font size in effect at the moment
    // "Druckereinstellungen...": the main window's printer setup.
    std::function<void()> onPrintSetup;

    // The rows of a grid that list a field or an index (they start with its
    // number), whatever heading rows the grid shows.
    static QVector<QStringList> listedRows(const QTableWidget *grid);
    // "Drucken": the structure printout from the grids as they stand.
    void BTPrintClick();

    // Engine errors of the buttons go here (the default error box); the dialog stays open.
    std::function<void(const QString &)> onError;

private:
    void FormCreate();
    void guarded(const std::function<void()> &action);
    engine::TableDataset *m_table;
    int m_fieldRow = 0;
    int m_indexRow = 0;
};

} // namespace structure
