#pragma once
// A canvas that records what the page writer does with it, page by page.
#include "PrintCanvas.h"

#include <QString>
#include <QVector>

struct DrawnLine {
    int page = 0; // 1-based
    int x = 0;
    int y = 0;
    QString text;
    print::CanvasFont font;
};

class RecordingCanvas : public print::PrintCanvas {
public:
    explicit RecordingCanvas(int height = 6600) : m_height(height) {}
    int pageHeight() const override { return m_height; }
    void begin(const QString &jobName) override
    {
        ++begins;
        this->jobName = jobName;
        pages = 1;
    }
    void newPage() override { ++pages; }
    void setFont(const print::CanvasFont &font) override
    {
        m_font = font;
        fonts.append(font);
    }
    print::CanvasFont font() const override { return m_font; }
    void drawText(int x, int y, const QString &text) override { lines.append(DrawnLine{pages, x, y, text, m_font}); }
    void end() override { ++ends; }

    QVector<DrawnLine> onPage(int page) const
    {
        QVector<DrawnLine> result;
        for (const DrawnLine &l : lines)
            if (l.page == page)
                result.append(l);
        return result;
    }
    QStringList texts() const
    {
        QStringList result;
        for (const DrawnLine &l : lines)
            result << l.text;
        return result;
    }

    int begins = 0;
    int ends = 0;
    int pages = 0;
    QString jobName;
    QVector<DrawnLine> lines;
    QVector<print::CanvasFont> fonts;

private:
    int m_height;
    print::CanvasFont m_font;
};
