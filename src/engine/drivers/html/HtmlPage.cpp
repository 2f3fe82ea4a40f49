#include "HtmlPage.h"

#include "EngineError.h"
#include "GumboLibrary.h"
#include "common/TextValues.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace engine::html {

namespace {

// Pages larger than this are no tables a person reads; they are refused rather
// than parsed into several times their size.
constexpr qint64 MaxPageBytes = 256 * 1024 * 1024;

QString charsetFromLabel(const QString &label, bool *ok)
{
    // The labels browsers treat as Windows-1252 and UTF-8; a page that claims
    // UTF-16 in a <meta> cannot be, since the tag itself was read as ASCII.
    const QString l = label.trimmed().toLower();
    *ok = true;
    static const char *const latin[] = {"iso-8859-1", "iso8859-1", "latin1", "l1", "us-ascii", "ascii",
                                        "windows-1252", "cp1252", "x-cp1252", "iso_8859-1", "cp819"};
    for (const char *name : latin)
        if (l == QLatin1String(name))
            return QStringLiteral("windows-1252");
    if (l == QLatin1String("utf-8") || l == QLatin1String("utf8") || l.startsWith(QLatin1String("utf-16"))
        || l == QLatin1String("unicode-1-1-utf-8"))
        return QStringLiteral("UTF-8");
    const QByteArray name = l.toLatin1();
    QStringDecoder probe(name.constData());
    if (!probe.isValid()) {
        *ok = false;
        return QString();
    }
    return l;
}

bool isBlock(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_P: case GUMBO_TAG_DIV: case GUMBO_TAG_LI: case GUMBO_TAG_UL: case GUMBO_TAG_OL:
    case GUMBO_TAG_DL: case GUMBO_TAG_DT: case GUMBO_TAG_DD: case GUMBO_TAG_H1: case GUMBO_TAG_H2:
    case GUMBO_TAG_H3: case GUMBO_TAG_H4: case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_PRE:
    case GUMBO_TAG_BLOCKQUOTE: case GUMBO_TAG_ADDRESS: case GUMBO_TAG_HR: case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE: case GUMBO_TAG_HEADER: case GUMBO_TAG_FOOTER: case GUMBO_TAG_NAV:
    case GUMBO_TAG_ASIDE: case GUMBO_TAG_FORM: case GUMBO_TAG_FIELDSET: case GUMBO_TAG_FIGURE:
        return true;
    default:
        return false;
    }
}

// Table parts inside a cell (a nested table) read as words separated by blanks.
bool isTablePart(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_TABLE: case GUMBO_TAG_TR: case GUMBO_TAG_TD: case GUMBO_TAG_TH: case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_THEAD: case GUMBO_TAG_TBODY: case GUMBO_TAG_TFOOT:
        return true;
    default:
        return false;
    }
}

bool isHidden(GumboTag tag)
{
    return tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_TEMPLATE || tag == GUMBO_TAG_HEAD
        || tag == GUMBO_TAG_NOSCRIPT;
}

// Builds the text a browser shows: runs of blanks, tabs and line ends collapse
// to one blank and vanish at the start and end and around line breaks; a
// non-breaking space stays (as a plain blank); <br> breaks the line; blocks
// start on a line of their own.
class TextBuilder {
public:
    void text(const char *utf8, size_t length, bool preformatted)
    {
        const QString s = QString::fromUtf8(utf8, static_cast<qsizetype>(length));
        for (QChar c : s) {
            if (!preformatted && (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f')) {
                m_space = true;
                continue;
            }
            if (preformatted && c == u'\r')
                continue;
            flush();
            m_out.append(c == QChar(0xa0) ? QChar(u' ') : c);
        }
    }
    void lineBreak()
    {
        m_out.append(QLatin1Char('\n'));
        m_space = false;
        m_block = false;
    }
    void blockBoundary() { m_block = true; }
    void space() { m_space = true; }
    QString result() const { return m_out; }

private:
    void flush()
    {
        const bool atLineStart = m_out.isEmpty() || m_out.endsWith(QLatin1Char('\n'));
        if (m_block && !atLineStart)
            m_out.append(QLatin1Char('\n'));
        else if (m_space && !atLineStart)
            m_out.append(QLatin1Char(' '));
        m_space = m_block = false;
    }

    QString m_out;
    bool m_space = false;
    bool m_block = false;
};

// Walks a subtree without recursion (pages can nest deeply): calls enter for
// every node and leave for every element after its children.
template <typename Enter, typename Leave>
void walk(const GumboNode *root, Enter enter, Leave leave)
{
    struct Frame {
        const GumboNode *node;
        unsigned next;
    };
    std::vector<Frame> stack;
    if (!enter(root))
        return;
    stack.push_back({root, 0});
    while (!stack.empty()) {
        Frame &top = stack.back();
        const GumboVector *children = nullptr;
        if (top.node->type == GUMBO_NODE_ELEMENT || top.node->type == GUMBO_NODE_TEMPLATE)
            children = &top.node->v.element.children;
        else if (top.node->type == GUMBO_NODE_DOCUMENT)
            children = &top.node->v.document.children;
        if (!children || top.next >= children->length) {
            const GumboNode *done = top.node;
            stack.pop_back();
            leave(done);
            continue;
        }
        const auto *child = static_cast<const GumboNode *>(children->data[top.next++]);
        if (enter(child))
            stack.push_back({child, 0});
    }
}

QString cellText(const GumboNode *node)
{
    TextBuilder b;
    int pre = 0;
    walk(
        node,
        [&](const GumboNode *n) {
            switch (n->type) {
            case GUMBO_NODE_TEXT: case GUMBO_NODE_WHITESPACE: case GUMBO_NODE_CDATA:
                b.text(n->v.text.text, std::strlen(n->v.text.text), pre > 0);
                return false;
            case GUMBO_NODE_ELEMENT: {
                const GumboTag tag = n->v.element.tag;
                if (n != node && isHidden(tag))
                    return false;
                if (tag == GUMBO_TAG_BR) {
                    b.lineBreak();
                    return false;
                }
                if (tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_TEXTAREA)
                    ++pre;
                if (n != node && isBlock(tag))
                    b.blockBoundary();
                else if (n != node && isTablePart(tag))
                    b.space();
                return true;
            }
            default:
                return false;
            }
        },
        [&](const GumboNode *n) {
            if (n->type != GUMBO_NODE_ELEMENT || n == node)
                return;
            const GumboTag tag = n->v.element.tag;
            if (tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_TEXTAREA)
                --pre;
            if (isBlock(tag))
                b.blockBoundary();
            else if (isTablePart(tag))
                b.space();
        });
    return b.result();
}

QString attribute(const GumboNode *node, const char *name)
{
    const GumboAttribute *a = GumboLibrary::get().get_attribute(&node->v.element.attributes, name);
    return a ? QString::fromUtf8(a->value).trimmed() : QString();
}

int spanOf(const GumboNode *cell, const char *name, int fallback)
{
    bool ok = false;
    const int v = attribute(cell, name).toInt(&ok);
    return ok ? v : fallback;
}

bool isElement(const GumboNode *n, GumboTag tag)
{
    return n->type == GUMBO_NODE_ELEMENT && n->v.element.tag == tag;
}

QVector<const GumboNode *> elementChildren(const GumboNode *n)
{
    QVector<const GumboNode *> out;
    const GumboVector &children = n->v.element.children;
    for (unsigned i = 0; i < children.length; ++i) {
        const auto *c = static_cast<const GumboNode *>(children.data[i]);
        if (c->type == GUMBO_NODE_ELEMENT)
            out << c;
    }
    return out;
}

// The rows of one table as a browser orders them: the head first, the foot last.
QVector<const GumboNode *> rowsOf(const GumboNode *table, QString *caption)
{
    QVector<const GumboNode *> head, body, foot;
    for (const GumboNode *child : elementChildren(table)) {
        const GumboTag tag = child->v.element.tag;
        if (tag == GUMBO_TAG_TR) {
            body << child;
        } else if (tag == GUMBO_TAG_THEAD || tag == GUMBO_TAG_TBODY || tag == GUMBO_TAG_TFOOT) {
            QVector<const GumboNode *> &into = tag == GUMBO_TAG_THEAD ? head : tag == GUMBO_TAG_TFOOT ? foot : body;
            for (const GumboNode *row : elementChildren(child))
                if (row->v.element.tag == GUMBO_TAG_TR)
                    into << row;
        } else if (tag == GUMBO_TAG_CAPTION && caption->isEmpty()) {
            *caption = cellText(child);
        }
    }
    return head + body + foot;
}

PageTable layOut(const GumboNode *table)
{
    PageTable out;
    const QVector<const GumboNode *> rows = rowsOf(table, &out.caption);
    struct Pending {
        int remaining = 0;
        Cell cell;
    };
    QVector<Pending> pending;
    for (int r = 0; r < rows.size(); ++r) {
        const QVector<const GumboNode *> cells = [&] {
            QVector<const GumboNode *> c;
            for (const GumboNode *n : elementChildren(rows.at(r)))
                if (n->v.element.tag == GUMBO_TAG_TD || n->v.element.tag == GUMBO_TAG_TH)
                    c << n;
            return c;
        }();
        // A row without cells of its own shows nothing.
        if (cells.isEmpty())
            continue;
        QVector<Cell> row;
        int col = 0;
        const auto place = [&](int at, const Cell &cell) {
            if (at >= MaxColumns)
                return;
            if (row.size() <= at)
                row.resize(at + 1);
            row[at] = cell;
        };
        const auto takePending = [&](int at) {
            Pending &p = pending[at];
            Cell c = p.cell;
            c.own = false;
            place(at, c);
            --p.remaining;
        };
        for (const GumboNode *n : cells) {
            while (col < pending.size() && pending.at(col).remaining > 0)
                takePending(col++);
            Cell cell;
            cell.text = cellText(n);
            cell.header = n->v.element.tag == GUMBO_TAG_TH;
            cell.dataType = attribute(n, "data-type");
            cell.size = attribute(n, "data-size").toInt();
            cell.precision = attribute(n, "data-precision").toInt();
            cell.scale = attribute(n, "data-scale").toInt();
            // Spans as browsers clamp them; rowspan 0 reaches to the end of the table.
            const int colspan = std::clamp(spanOf(n, "colspan", 1), 1, 1000);
            int rowspan = spanOf(n, "rowspan", 1);
            const int rest = static_cast<int>(rows.size()) - r;
            rowspan = rowspan <= 0 ? rest : std::min({rowspan, rest, 65534});
            for (int k = 0; k < colspan && col + k < MaxColumns; ++k) {
                Cell c = cell;
                c.own = k == 0;
                place(col + k, c);
                if (rowspan > 1) {
                    if (pending.size() <= col + k)
                        pending.resize(col + k + 1);
                    pending[col + k] = {rowspan - 1, c};
                }
            }
            col += colspan;
        }
        for (int at = col; at < pending.size(); ++at)
            if (pending.at(at).remaining > 0)
                takePending(at);
        out.columns = std::max(out.columns, static_cast<int>(row.size()));
        out.rows << row;
    }
    for (QVector<Cell> &row : out.rows)
        row.resize(out.columns);
    return out;
}

} // namespace

QString decodePage(const QByteArray &bytes, QString *charset, QString *origin)
{
    const auto decodeWith = [&](const QString &name, int skip) -> QString {
        QStringDecoder decoder(name.toLatin1().constData());
        *charset = name;
        return decoder.decode(QByteArrayView(bytes.constData() + skip, bytes.size() - skip));
    };
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        *origin = QStringLiteral("Byte-Order-Mark");
        return decodeWith(QStringLiteral("UTF-8"), 3);
    }
    if (bytes.startsWith("\xFF\xFE")) {
        *origin = QStringLiteral("Byte-Order-Mark");
        return decodeWith(QStringLiteral("UTF-16LE"), 2);
    }
    if (bytes.startsWith("\xFE\xFF")) {
        *origin = QStringLiteral("Byte-Order-Mark");
        return decodeWith(QStringLiteral("UTF-16BE"), 2);
    }
    // <meta charset="x"> or <meta http-equiv="Content-Type" content="text/html; charset=x">
    // near the top; the head is read as Latin-1, which every such tag is written in.
    static const QRegularExpression meta(QStringLiteral(R"(<meta\b[^>]*?charset\s*=\s*["']?\s*([A-Za-z0-9_:.\-]+))"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QString head = QString::fromLatin1(bytes.left(16384));
    const QRegularExpressionMatch m = meta.match(head);
    if (m.hasMatch()) {
        bool ok = false;
        const QString name = charsetFromLabel(m.captured(1), &ok);
        if (ok) {
            *origin = QStringLiteral("<meta>-Angabe der Seite (%1)").arg(m.captured(1));
            return decodeWith(name, 0);
        }
    }
    if (text::isValidUtf8(bytes, false)) {
        *origin = m.hasMatch() ? QStringLiteral("gültiges UTF-8 (die <meta>-Angabe %1 ist unbekannt)").arg(m.captured(1))
                               : QStringLiteral("ohne Angabe; die Bytes sind gültiges UTF-8");
        return decodeWith(QStringLiteral("UTF-8"), 0);
    }
    *origin = QStringLiteral("ohne Angabe; Vorgabe Windows-1252");
    return decodeWith(QStringLiteral("windows-1252"), 0);
}

namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Elements that never hold children.
bool isVoidTag(const QByteArray &name)
{
    static const QSet<QByteArray> tags = {"area", "base", "basefont", "bgsound", "br", "col", "embed", "frame",
                                          "hr", "img", "input", "keygen", "link", "meta", "param", "source",
                                          "track", "wbr", "image"};
    return tags.contains(name);
}

// Elements whose start tag closes an open one of their kind (or their row or
// list item), so that a page written without those end tags stays flat.
bool isSelfEndingTag(const QByteArray &name)
{
    static const QSet<QByteArray> tags = {"p", "li", "dt", "dd", "tr", "td", "th", "option", "optgroup",
                                          "thead", "tbody", "tfoot", "colgroup", "rb", "rt", "rp", "rtc"};
    return tags.contains(name);
}

// Elements whose content is text up to their own end tag.
bool isRawTextTag(const QByteArray &name)
{
    return name == "script" || name == "style" || name == "textarea" || name == "title" || name == "xmp"
        || name == "iframe" || name == "noembed" || name == "noframes" || name == "plaintext";
}

} // namespace

bool nestedDeeperThan(const QByteArray &utf8, int limit)
{
    const char *p = utf8.constData();
    const qsizetype n = utf8.size();
    // The open elements, and how often each name is among them: an end tag
    // whose name is not open is ignored, as the browser ignores it.
    QVector<QByteArray> open;
    QHash<QByteArray, int> openCount;
    int foreign = 0; // open <svg>/<math>, where "/>" closes an element
    qsizetype i = 0;
    while (i < n) {
        if (p[i] != '<') {
            ++i;
            continue;
        }
        if (i + 3 < n && p[i + 1] == '!' && p[i + 2] == '-' && p[i + 3] == '-') {
            const qsizetype end = utf8.indexOf("-->", i + 4);
            if (end < 0)
                break;
            i = end + 3;
            continue;
        }
        const bool closing = i + 1 < n && p[i + 1] == '/';
        qsizetype j = i + (closing ? 2 : 1);
        if (j >= n || !isAsciiLetter(p[j])) {
            // <!DOCTYPE>, <?...>, a lone "<": no element.
            ++i;
            continue;
        }
        const qsizetype nameStart = j;
        while (j < n && p[j] != '>' && p[j] != '/' && p[j] != ' ' && p[j] != '\t' && p[j] != '\n'
               && p[j] != '\r' && p[j] != '\f')
            ++j;
        const QByteArray name = QByteArray(p + nameStart, j - nameStart).toLower();
        // The end of the tag, outside quoted attribute values.
        char quote = 0;
        while (j < n && (quote || p[j] != '>')) {
            if (quote && p[j] == quote)
                quote = 0;
            else if (!quote && (p[j] == '"' || p[j] == '\''))
                quote = p[j];
            ++j;
        }
        const bool selfClosed = j < n && j > nameStart && p[j - 1] == '/';
        i = j + 1;
        if (closing) {
            auto it = openCount.find(name);
            if (it == openCount.end() || it.value() == 0)
                continue;
            while (!open.isEmpty()) {
                const QByteArray top = open.takeLast();
                --openCount[top];
                if (top == "svg" || top == "math")
                    --foreign;
                if (top == name)
                    break;
            }
            continue;
        }
        if (isVoidTag(name) || isSelfEndingTag(name) || (selfClosed && foreign > 0))
            continue;
        if (isRawTextTag(name)) {
            // Skip to the matching end tag; nothing inside is markup.
            const QByteArray end = "</" + name;
            qsizetype k = i;
            for (;;) {
                k = utf8.indexOf("</", k);
                if (k < 0 || qstrnicmp(p + k, end.constData(), end.size()) == 0)
                    break;
                k += 2;
            }
            if (k < 0)
                break;
            i = k;
            continue;
        }
        open.append(name);
        ++openCount[name];
        if (name == "svg" || name == "math")
            ++foreign;
        if (open.size() > limit)
            return true;
    }
    return false;
}

Page parsePage(const QByteArray &bytes, int tableNumber, const QString &path)
{
    Page page;
    const QByteArray utf8 = decodePage(bytes, &page.charset, &page.charsetOrigin).toUtf8();
    if (nestedDeeperThan(utf8, MaxNesting)) {
        const QString what = path.isEmpty() ? QStringLiteral("Die HTML-Seite")
                                            : QStringLiteral("Die HTML-Datei %1").arg(QDir::toNativeSeparators(path));
        throw EngineError(QStringLiteral("%1 ist mehr als %2 Ebenen tief verschachtelt und lässt sich nicht "
                                         "sicher als Tabelle lesen.")
                              .arg(what)
                              .arg(MaxNesting));
    }
    // gumbo keeps a copy of the open elements with every parse error: a page of
    // thousands of unclosed tags would take gigabytes. Errors are not used here.
    const GumboLibrary &gumbo = GumboLibrary::get();
    GumboOptions options = *gumbo.defaultOptions;
    options.max_errors = 0;
    std::unique_ptr<GumboOutput, void (*)(GumboOutput *)> output(
        gumbo.parse_with_options(&options, utf8.constData(), static_cast<size_t>(utf8.size())),
        [](GumboOutput *o) {
            if (o)
                GumboLibrary::get().destroy_output(GumboLibrary::get().defaultOptions, o);
        });
    if (!output || !output->root)
        return page;
    if (output->root->type == GUMBO_NODE_ELEMENT)
        page.lang = attribute(output->root, "lang");
    walk(
        output->root,
        [&](const GumboNode *n) {
            if (n->type != GUMBO_NODE_ELEMENT && n->type != GUMBO_NODE_TEMPLATE)
                return false;
            if (isElement(n, GUMBO_TAG_TITLE) && page.title.isEmpty())
                page.title = cellText(n);
            if (isElement(n, GUMBO_TAG_TABLE) && ++page.tableCount == tableNumber)
                page.table = layOut(n);
            return true;
        },
        [](const GumboNode *) {});
    return page;
}

Page readPage(const QString &path, int tableNumber)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EngineError(ErrorKind::Io, QStringLiteral("Die HTML-Datei %1 lässt sich nicht öffnen: %2.")
                              .arg(QDir::toNativeSeparators(path), file.errorString()));
    if (file.size() > MaxPageBytes)
        throw EngineError(ErrorKind::Unsupported, QStringLiteral("Die HTML-Datei %1 ist mit %2 MB zu groß, um sie als Tabelle zu lesen.")
                              .arg(QDir::toNativeSeparators(path))
                              .arg(file.size() / (1024 * 1024)));
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        throw EngineError(ErrorKind::Io, QStringLiteral("Die HTML-Datei %1 lässt sich nicht ganz lesen: %2.")
                              .arg(QDir::toNativeSeparators(path), file.errorString()));
    return parsePage(bytes, tableNumber, path);
}

} // namespace engine::html
