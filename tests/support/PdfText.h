#pragma once
// PDF files read back by poppler's own tools (pdftotext, pdfinfo), a reader
// that is not ours. A missing tool fails the test: install poppler-utils.
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace testsupport {

inline QString runPoppler(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    process.start(tool, arguments);
    if (!process.waitForStarted(10000)) {
        ADD_FAILURE() << tool.toStdString() << " is missing (Debian package poppler-utils)";
        return QString();
    }
    process.waitForFinished(60000);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The pages of a PDF as poppler places their words (pdftotext -bbox). The
// printouts use a fixed-pitch font, so the blanks between words come back
// exactly from the word positions (pdftotext -layout guesses them and drops
// some). Trailing blanks and empty lines are left out.
inline QVector<QStringList> pdfPages(const QString &pdf)
{
    const QString html = runPoppler(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    struct Word {
        double x0, y, x1;
        QString text;
    };
    const auto unescape = [](QString t) {
        t.replace(QStringLiteral("&lt;"), QStringLiteral("<")).replace(QStringLiteral("&gt;"), QStringLiteral(">"));
        t.replace(QStringLiteral("&quot;"), QStringLiteral("\"")).replace(QStringLiteral("&apos;"), QStringLiteral("'"));
        return t.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    };
    const QRegularExpression wordRe(QStringLiteral(
        "<word xMin=\"([^\"]+)\" yMin=\"([^\"]+)\" xMax=\"([^\"]+)\" yMax=\"[^\"]+\">([^<]*)</word>"));
    QVector<QStringList> pages;
    const QStringList pageTexts = html.split(QStringLiteral("<page "));
    for (qsizetype p = 1; p < pageTexts.size(); ++p) {
        QVector<Word> words;
        for (auto it = wordRe.globalMatch(pageTexts.at(p)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            words.append({m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                          unescape(m.captured(4))});
        }
        // Poppler lists words in reading flow, not line by line.
        std::sort(words.begin(), words.end(), [](const Word &a, const Word &b) {
            return std::abs(a.y - b.y) > 0.5 ? a.y < b.y : a.x0 < b.x0;
        });
        QStringList lines;
        if (!words.isEmpty()) {
            double left = words.first().x0;
            double pitch = 0;
            int longest = 0;
            for (const Word &w : words) {
                left = std::min(left, w.x0);
                if (w.text.size() > longest) {
                    longest = int(w.text.size());
                    pitch = (w.x1 - w.x0) / double(w.text.size());
                }
            }
            double lineY = -1000;
            QString line;
            for (const Word &w : words) {
                if (w.y - lineY > 0.5) {
                    if (!line.isEmpty())
                        lines << line;
                    line.clear();
                    lineY = w.y;
                }
                const int column = int(std::lround((w.x0 - left) / pitch));
                if (line.size() < column)
                    line += QString(column - line.size(), QLatin1Char(' '));
                else if (!line.isEmpty())
                    line += QLatin1Char(' ');
                line += w.text;
            }
            if (!line.isEmpty())
                lines << line;
        }
        pages << lines;
    }
    return pages;
}

// "Pages:" of pdfinfo, and the page size in points.
inline int pdfPageCount(const QString &pdf)
{
    const QString info = runPoppler(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

inline QString pdfPageSize(const QString &pdf)
{
    const QString info = runPoppler(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Page size:\\s+([^\\n]+)")).match(info);
    return m.hasMatch() ? m.captured(1).trimmed() : QString();
}

// The tops (in points) of the text lines of a page, from pdftotext -bbox, top down.
inline QVector<double> pdfLineTops(const QString &pdf, int page = 1)
{
    const QString html = runPoppler(QStringLiteral("pdftotext"),
                                    {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
                                     QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
    QVector<double> tops;
    const QRegularExpression word(QStringLiteral("<word xMin=\"[^\"]+\" yMin=\"([^\"]+)\""));
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const double y = it.next().captured(1).toDouble();
        if (tops.isEmpty() || y - tops.last() > 1.0)
            tops << y;
    }
    return tops;
}

} // namespace testsupport
