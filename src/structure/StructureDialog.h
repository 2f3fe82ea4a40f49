#pragma once
// TFMStruktur: the open table's fields and indexes, its record size and count;
// an index can be made the sort order here. Created for each use.
#include <QDialog>

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
