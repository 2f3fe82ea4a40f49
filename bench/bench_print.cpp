// Measures the table printout into a PDF file as the built-in PDF printer makes
// it: every record of a dBASE table through the page writer, A4 at 600 dpi.
// The goals: at least 20,000 lines a second, and memory that does not grow
// with the table (at most 150 MB at its peak).
//   bench_print TABLE.dbf [OUT.pdf]
#include "BenchSupport.h"
#include "PageWriter.h"
#include "PdfOutput.h"
#include "TablePrint.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <sys/resource.h>

namespace {

// A canvas that draws nothing: what reading the records and building the lines costs alone.
class NullCanvas : public print::PrintCanvas {
public:
    int pageHeight() const override { return 6851; }
    void begin(const QString &) override {}
    void newPage() override {}
    void setFont(const print::CanvasFont &font) override { m_font = font; }
    print::CanvasFont font() const override { return m_font; }
    void drawText(int, int, const QString &text) override { m_chars += text.size(); }
    void end() override {}
    qint64 m_chars = 0;

private:
    print::CanvasFont m_font;
};

// User and system time of the process so far: on a busy machine the wall
// clock also counts the time other programs had the processor.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        fprintf(stderr, "Aufruf: bench_print TABELLE.dbf [AUSGABE.pdf]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString out = argc == 3 ? QString::fromLocal8Bit(argv[2])
                                  : QFileInfo(path).absolutePath() + QStringLiteral("/print.pdf");
    engine::Connection connection;
    engine::TableDataset table;
    bindDbaseTable(path, connection, table);
    table.Open();
    const qint64 records = table.RecordCount();
    {
        NullCanvas canvas;
        QElapsedTimer timer;
        timer.start();
        print::printTable(canvas, table, print::gridFields(table, {}), QStringLiteral("T"), 10);
        const double ms = elapsedMs(timer);
        report("lines built, nothing drawn", ms,
               QStringLiteral("%1 lines/s, %2 characters a line")
                   .arg(qRound64(double(records) / (ms / 1000.0)))
                   .arg(records ? canvas.m_chars / records : 0));
    }
    const double before = peakMegabytes();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    int pages = 0;
    print::printToPdf(out, print::pdfPageLayout(), [&](print::PrintCanvas &canvas) {
        print::printTable(canvas, table, print::gridFields(table, {}), QFileInfo(path).fileName().toUpper(), 10);
        pages = print::pageWriter().PageNumber;
    });
    const double ms = elapsedMs(timer);
    const double cpu = cpuSeconds() - cpuBefore;
    const qint64 lines = records + 3LL * pages; // records plus each page's header lines
    report("table printout into PDF", ms,
           QStringLiteral("%1 records, %2 pages, %3 lines/s (%7 per processor second), PDF %4 MB, "
                          "peak memory %5 MB (%6 MB before printing)")
               .arg(records)
               .arg(pages)
               .arg(qRound64(double(lines) / (ms / 1000.0)))
               .arg(double(QFileInfo(out).size()) / 1e6, 0, 'f', 1)
               .arg(peakMegabytes(), 0, 'f', 1)
               .arg(before, 0, 'f', 1)
               .arg(qRound64(double(lines) / cpu)));
    return 0;
}
