#pragma once
// The print command of brisvel-cli. Printing lays text out with real fonts and
// so needs QtGui; it lives in a program of its own (brisvel-print) that
// brisvel-cli hands the command line to, so that every other command starts
// without loading the GUI libraries.
#include <QString>

#include <functional>

namespace data {
class TKADOopen;
}
namespace engine {
class TableDataset;
}

namespace cli {

// What the command line asks of a printout.
struct PrintRequest {
    QString target;   // the PDF file, as the user named it
    int fontSize = 0; // points, 0 for the default
    bool landscape = false;
    bool structure = false;
    bool overwrite = false;
};

// Prints the open table (or its structure) into a PDF file as the built-in PDF
// printer makes it; returns the line that reports the pages. Throws EngineError.
using Printer = std::function<QString(data::TKADOopen &, engine::TableDataset &, const PrintRequest &)>;

QString printToPdfFile(data::TKADOopen &descriptor, engine::TableDataset &table, const PrintRequest &request);

// The print program beside brisvel-cli: in the same folder (the build tree),
// else in ../libexec/brisvel (an installed tree). Empty when there is none.
QString printProgramPath(const QString &cliDirectory);

} // namespace cli
