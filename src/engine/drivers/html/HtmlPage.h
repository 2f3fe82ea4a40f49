#pragma once
// An HTML page as the table reader needs it: the bytes decoded by the page's
// character set, parsed with gumbo, its <table> elements counted (nested ones
// included, in document order) and the one asked for laid out as a grid of
// cell texts, row and column spans spread over the cells they cover.
#include <QByteArray>
#include <QString>
#include <QVector>

namespace engine::html {

struct Cell {
    QString text;        // as a browser shows it: blanks collapsed, <br> a line break
    bool header = false; // a <th>
    bool own = true;     // false where a span from another cell covers the slot
    // Field description our own writer leaves on the heading cells.
    QString dataType;
    int size = 0;
    int precision = 0;
    int scale = 0;
};

struct PageTable {
    QVector<QVector<Cell>> rows; // every row as wide as the widest one
    QString caption;
    int columns = 0;
};

struct Page {
    QString charset;       // the name the page was decoded with
    QString charsetOrigin; // where that came from, for the table's facts
    QString lang;          // <html lang="...">
    QString title;
    int tableCount = 0;   // <table> elements, nested ones included
    PageTable table;      // the one asked for, when it exists
};

// Widest table the reader lays out; cells beyond it are left out.
constexpr int MaxColumns = 4096;

// Deepest element nesting the reader hands to gumbo: its tree cleanup recurses
// once per level, and a page of some 100,000 unclosed tags overflows the stack.
// Real pages nest a few dozen levels deep; this many levels (each at most a
// table, its body, row and cell) fit in well under a megabyte of stack.
constexpr int MaxNesting = 5000;

// True when the page's start tags, counted as a browser would nest them
// (void elements, self-closed foreign elements, stray end tags and elements
// whose end tag may be left out do not deepen), go deeper than limit.
// One pass over the bytes, without building a tree.
bool nestedDeeperThan(const QByteArray &utf8, int limit);

// Decodes the page's bytes: byte-order mark, then a <meta> charset near the
// top, then UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodePage(const QByteArray &bytes, QString *charset, QString *origin);

// Parses a page and lays out its table number (1-based; 0 only counts the
// tables). Throws EngineError naming path when the file cannot be read or is
// nested too deeply to parse safely.
Page parsePage(const QByteArray &bytes, int tableNumber, const QString &path = QString());
Page readPage(const QString &path, int tableNumber);

} // namespace engine::html
