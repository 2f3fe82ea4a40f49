#include "PdfOutput.h"

#include "EngineError.h"
#include "PageWriter.h"
#include "PainterCanvas.h"

#include <QPdfWriter>
#include <QSaveFile>

namespace print {

QPageLayout pdfPageLayout(QPageLayout::Orientation orientation)
{
    // Qt's PDF printer keeps 10 points free on every side.
    return QPageLayout(QPageSize(QPageSize::A4), orientation, QMarginsF(10, 10, 10, 10), QPageLayout::Point);
}

void printToPdf(const QString &fileName, const QPageLayout &layout,
                const std::function<void(PrintCanvas &canvas)> &body)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw engine::EngineError(
            QStringLiteral("Die Datei %1 kann nicht angelegt werden").arg(fileName));
    {
        QPdfWriter writer(&file);
        writer.setResolution(PdfResolution);
        writer.setPageLayout(layout);
        writer.setCreator(QStringLiteral("brisvel ostrel"));
        PainterCanvas canvas(&writer, [&writer](const QString &name) { writer.setTitle(name); });
        try {
            body(canvas);
        } catch (...) {
            // The writer may still be in its document; the save file is dropped.
            PrintAbort();
            file.cancelWriting();
            throw;
        }
    }
    if (!file.commit())
        throw engine::EngineError(
            QStringLiteral("Die Datei %1 konnte nicht geschrieben werden").arg(fileName));
}

} // namespace print
