#include "FilterExpression.h"

#include "RawCells.h"

#include "EngineError.h"
#include "TableDataset.h"
#include "ValueText.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace engine {

namespace {

// How a field's values are compared; decided once from the field's type.
enum class Kind { Text, Number, Date, Time, Bool, None };

enum class Op { Eq, Ne, Lt, Gt, Le, Ge, Like, NotLike, IsNull, IsNotNull };

Kind kindOf(TFieldType type)
{
    if (isNumericType(type))
        return Kind::Number;
    switch (type) {
    case ftDate: case ftDateTime: case ftTimeStamp:
        return Kind::Date;
    case ftTime:
        return Kind::Time;
    case ftBoolean:
        return Kind::Bool;
    case ftString: case ftFixedChar: case ftWideString: case ftGuid: case ftMemo: case ftFmtMemo:
    case ftUnknown: case ftVariant:
        return Kind::Text;
    default:
        return Kind::None;
    }
}

struct LikeItem {
    enum Type : quint8 { Literal, One, Any };
    char16_t ch = 0;
    char16_t folded = 0;
    Type type = Literal;
};

QStringView withoutTrailingBlanks(QStringView text)
{
    qsizetype n = text.size();
    while (n > 0 && text[n - 1] == QLatin1Char(' '))
        --n;
    return text.first(n);
}

template <typename T>
bool ordered(Op op, const T &a, const T &b)
{
    switch (op) {
    case Op::Eq: return a == b;
    case Op::Ne: return a != b;
    case Op::Lt: return a < b;
    case Op::Gt: return a > b;
    case Op::Le: return a <= b;
    case Op::Ge: return a >= b;
    default: return false;
    }
}

bool byResult(Op op, int cmp)
{
    return ordered(op, cmp, 0);
}

Op mirrored(Op op)
{
    switch (op) {
    case Op::Lt: return Op::Gt;
    case Op::Gt: return Op::Lt;
    case Op::Le: return Op::Ge;
    case Op::Ge: return Op::Le;
    default: return op;
    }
}

// Iterative wildcard match over n characters, same(i, item) telling whether
// character i matches a literal: on a mismatch go back to the last "any
// characters" and let it take one more character. No recursion, so no
// pattern can exhaust the stack.
template <typename Same>
bool likeWalk(qsizetype n, const std::vector<LikeItem> &pattern, Same same)
{
    const size_t m = pattern.size();
    qsizetype i = 0;
    size_t j = 0;
    size_t star = size_t(-1);
    qsizetype mark = 0;
    while (i < n) {
        if (j < m && (pattern[j].type == LikeItem::One
                      || (pattern[j].type == LikeItem::Literal && same(i, pattern[j])))) {
            ++i;
            ++j;
        } else if (j < m && pattern[j].type == LikeItem::Any) {
            star = j++;
            mark = i;
        } else if (star != size_t(-1)) {
            j = star + 1;
            i = ++mark;
        } else {
            return false;
        }
    }
    while (j < m && pattern[j].type == LikeItem::Any)
        ++j;
    return j == m;
}

bool likeMatch(QStringView text, const std::vector<LikeItem> &pattern, bool caseInsensitive)
{
    return likeWalk(text.size(), pattern, [&](qsizetype i, const LikeItem &p) {
        const char16_t c = text[i].unicode();
        return c == p.ch || (caseInsensitive && QChar::toCaseFolded(char32_t(c)) == p.folded);
    });
}

// The same on text stored in a single-byte code page, decoded and folded by its table.
bool likeMatchStored(const unsigned char *bytes, int n, const std::vector<LikeItem> &pattern, bool caseInsensitive,
                     const Utf8Table &table)
{
    return likeWalk(n, pattern, [&](qsizetype i, const LikeItem &p) {
        const unsigned char b = bytes[i];
        return table.unicode[b] == p.ch || (caseInsensitive && table.folded[b] == p.folded);
    });
}

// Each UTF-16 unit folded as QChar::toCaseFolded() folds it, as Qt's
// case-insensitive comparison does for text without surrogates.
QString foldedUnits(const QString &text)
{
    QString out = text;
    for (QChar &c : out)
        c = QChar(char16_t(QChar::toCaseFolded(char32_t(c.unicode()))));
    return out;
}

bool hasSurrogates(const QString &text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
}

} // namespace

struct FilterExpression::Node {
    enum Type { And, Or, Not, Compare };
    Type type = Compare;
    std::vector<int> children;

    int field = -1;
    TFieldType fieldType = ftUnknown;
    Kind kind = Kind::Text;
    Op op = Op::Eq;

    // Text: the constant without trailing blanks; for a constant ending in "*"
    // also what precedes it, used unless foNoPartialCompare is set.
    QString text;
    bool partial = false;
    QString prefix;
    std::vector<LikeItem> like;
    // The same folded unit by unit, for comparing stored text folded by its code
    // page's table; byText is false where the constant has surrogates (a stored
    // single-byte text has none, and Qt folds pairs as one character).
    QString foldedText;
    QString foldedPrefix;
    bool byText = false;

    bool isInteger = false;
    qint64 integer = 0;
    double number = 0;

    qint64 day = 0;      // Julian day
    int msecs = 0;       // time of day
    bool hasTime = false;
    // The day as a stored date lays it out (yyyymmdd), where its year has four digits.
    std::array<char, 8> stamp{};
    bool stamped = false;
    bool boolean = false;
};

// --- reading -----------------------------------------------------------------

class FilterParser {
public:
    FilterParser(const QString &text, const QVector<FieldDef> &fields, FilterExpression &out)
        : m_text(text), m_fields(fields), m_out(out)
    {
    }

    void run()
    {
        advance();
        if (m_tok.type == Tok::End)
            return;
        m_out.m_root = parseOr();
        if (m_tok.type != Tok::End)
            fail(m_tok.pos, QStringLiteral("AND oder OR erwartet"));
    }

private:
    enum class Tok { End, Field, String, Number, Date, True, False, Null, And, Or, Not, Like, Is,
                     LParen, RParen, Eq, Ne, Lt, Gt, Le, Ge, Minus, Plus };
    struct Token {
        Tok type = Tok::End;
        int pos = 0;        // 0-based
        QString text;       // field name, string content, number or date as written
    };
    struct Operand {
        Tok type = Tok::End;
        int pos = 0;
        int field = -1;
        QString text;
        bool negative = false;
    };

    static constexpr int MaxDepth = 200;

    [[noreturn]] void fail(int pos, const QString &what) const
    {
        throw EngineError(ErrorKind::RefusedValue, QStringLiteral("Fehler im Filterausdruck an Position %1: %2").arg(pos + 1).arg(what));
    }

    static bool isNameChar(QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); }

    void advance()
    {
        const int n = int(m_text.size());
        while (m_at < n && m_text[m_at].isSpace())
            ++m_at;
        m_tok = Token();
        m_tok.pos = m_at;
        if (m_at >= n)
            return;
        const QChar c = m_text[m_at];
        auto single = [&](Tok t, int length = 1) {
            m_tok.type = t;
            m_at += length;
        };
        auto next = [&](int k) { return m_at + k < n ? m_text[m_at + k] : QChar(); };
        switch (c.unicode()) {
        case '(': return single(Tok::LParen);
        case ')': return single(Tok::RParen);
        case '=': return single(Tok::Eq);
        case '-': return single(Tok::Minus);
        case '+': return single(Tok::Plus);
        case '<':
            if (next(1) == QLatin1Char('>'))
                return single(Tok::Ne, 2);
            if (next(1) == QLatin1Char('='))
                return single(Tok::Le, 2);
            return single(Tok::Lt);
        case '>':
            if (next(1) == QLatin1Char('='))
                return single(Tok::Ge, 2);
            return single(Tok::Gt);
        case '!':
            if (next(1) == QLatin1Char('='))
                return single(Tok::Ne, 2);
            break;
        case '\'':
            return lexString();
        case '#':
            return lexDate();
        case '[':
            return lexBracketName();
        case '"':
            fail(m_at, QStringLiteral("Zeichenkette in einfachen Hochkommas (') erwartet"));
        default:
            break;
        }
        if (c.isDigit() || (c == QLatin1Char('.') && next(1).isDigit()))
            return lexNumber();
        if (isNameChar(c))
            return lexName();
        fail(m_at, QStringLiteral("unerwartetes Zeichen '%1'").arg(c));
    }

    void lexString()
    {
        const int n = int(m_text.size());
        int i = m_at + 1;
        QString value;
        for (;;) {
            if (i >= n)
                fail(n, QStringLiteral("abschließendes ' erwartet"));
            if (m_text[i] == QLatin1Char('\'')) {
                if (i + 1 < n && m_text[i + 1] == QLatin1Char('\'')) {
                    value += QLatin1Char('\'');
                    i += 2;
                    continue;
                }
                break;
            }
            value += m_text[i++];
        }
        m_tok.type = Tok::String;
        m_tok.text = value;
        m_at = i + 1;
    }

    void lexDate()
    {
        const int end = int(m_text.indexOf(QLatin1Char('#'), m_at + 1));
        if (end < 0)
            fail(int(m_text.size()), QStringLiteral("abschließendes # erwartet"));
        m_tok.type = Tok::Date;
        m_tok.text = m_text.mid(m_at + 1, end - m_at - 1).trimmed();
        m_at = end + 1;
    }

    void lexBracketName()
    {
        // "]]" inside brackets stands for one "]", so any name can be written.
        const int n = int(m_text.size());
        int i = m_at + 1;
        QString name;
        for (;;) {
            if (i >= n)
                fail(n, QStringLiteral("']' erwartet"));
            if (m_text[i] == QLatin1Char(']')) {
                if (i + 1 < n && m_text[i + 1] == QLatin1Char(']')) {
                    name += QLatin1Char(']');
                    i += 2;
                    continue;
                }
                break;
            }
            name += m_text[i++];
        }
        if (name.trimmed().isEmpty())
            fail(m_at + 1, QStringLiteral("Feldname erwartet"));
        m_tok.type = Tok::Field;
        m_tok.text = name;
        m_at = i + 1;
    }

    void lexNumber()
    {
        const int n = int(m_text.size());
        int i = m_at;
        while (i < n && m_text[i].isDigit())
            ++i;
        if (i < n && m_text[i] == QLatin1Char('.')) {
            ++i;
            while (i < n && m_text[i].isDigit())
                ++i;
        }
        if (i + 1 < n && (m_text[i] == QLatin1Char('e') || m_text[i] == QLatin1Char('E'))) {
            int k = i + 1;
            if (k < n && (m_text[k] == QLatin1Char('+') || m_text[k] == QLatin1Char('-')))
                ++k;
            if (k < n && m_text[k].isDigit()) {
                while (k < n && m_text[k].isDigit())
                    ++k;
                i = k;
            }
        }
        if (i + 1 < n && m_text[i] == QLatin1Char(',') && m_text[i + 1].isDigit())
            fail(i, QStringLiteral("Dezimalpunkt '.' statt Komma erwartet"));
        if (i < n && (isNameChar(m_text[i]) || m_text[i] == QLatin1Char('.')))
            fail(i, QStringLiteral("Ziffer, Operator oder Leerzeichen erwartet"));
        m_tok.type = Tok::Number;
        m_tok.text = m_text.mid(m_at, i - m_at);
        m_at = i;
    }

    void lexName()
    {
        const int n = int(m_text.size());
        int i = m_at;
        while (i < n && isNameChar(m_text[i]))
            ++i;
        const QString word = m_text.mid(m_at, i - m_at);
        static const struct { const char *word; Tok tok; } keywords[] = {
            {"AND", Tok::And}, {"OR", Tok::Or}, {"NOT", Tok::Not}, {"LIKE", Tok::Like}, {"IS", Tok::Is},
            {"NULL", Tok::Null}, {"TRUE", Tok::True}, {"FALSE", Tok::False},
        };
        m_tok.type = Tok::Field;
        for (const auto &k : keywords) {
            if (word.compare(QLatin1String(k.word), Qt::CaseInsensitive) == 0) {
                m_tok.type = k.tok;
                break;
            }
        }
        m_tok.text = word;
        m_at = i;
    }

    // --- grammar: or := and {OR and}; and := not {AND not}; not := NOT not | primary

    int add(FilterExpression::Node node)
    {
        m_out.m_nodes.push_back(std::move(node));
        return int(m_out.m_nodes.size()) - 1;
    }

    int parseList(FilterExpression::Node::Type type, Tok separator, int (FilterParser::*item)())
    {
        const int first = (this->*item)();
        if (m_tok.type != separator)
            return first;
        // A flat list, so long chains of AND or OR never nest deeply.
        FilterExpression::Node node;
        node.type = type;
        node.children.push_back(first);
        while (m_tok.type == separator) {
            advance();
            node.children.push_back((this->*item)());
        }
        return add(std::move(node));
    }

    int parseOr() { return parseList(FilterExpression::Node::Or, Tok::Or, &FilterParser::parseAnd); }
    int parseAnd() { return parseList(FilterExpression::Node::And, Tok::And, &FilterParser::parseNot); }

    int parseNot()
    {
        if (m_tok.type != Tok::Not)
            return parsePrimary();
        enter();
        advance();
        FilterExpression::Node node;
        node.type = FilterExpression::Node::Not;
        node.children.push_back(parseNot());
        --m_depth;
        return add(std::move(node));
    }

    void enter()
    {
        if (++m_depth > MaxDepth)
            fail(m_tok.pos, QStringLiteral("Ausdruck zu tief verschachtelt (höchstens %1 Ebenen)").arg(MaxDepth));
    }

    int parsePrimary()
    {
        if (m_tok.type == Tok::LParen) {
            enter();
            advance();
            const int inner = parseOr();
            if (m_tok.type != Tok::RParen)
                fail(m_tok.pos, QStringLiteral("')' erwartet"));
            advance();
            --m_depth;
            return inner;
        }
        return parseComparison();
    }

    int fieldIndex(const Token &tok) const
    {
        const QString name = tok.text.trimmed();
        for (int i = 0; i < m_fields.size(); ++i) {
            if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        fail(tok.pos, msg::fieldNotFound(name));
    }

    Operand parseOperand()
    {
        Operand o;
        o.pos = m_tok.pos;
        if (m_tok.type == Tok::Minus || m_tok.type == Tok::Plus) {
            o.negative = m_tok.type == Tok::Minus;
            advance();
            if (m_tok.type != Tok::Number)
                fail(m_tok.pos, QStringLiteral("Zahl erwartet"));
        }
        switch (m_tok.type) {
        case Tok::Field:
            o.field = fieldIndex(m_tok);
            break;
        case Tok::String: case Tok::Number: case Tok::Date: case Tok::True: case Tok::False: case Tok::Null:
            break;
        default:
            fail(m_tok.pos, QStringLiteral("Feldname oder Konstante erwartet"));
        }
        o.type = m_tok.type;
        o.text = m_tok.text;
        advance();
        return o;
    }

    static bool isComparison(Tok t)
    {
        return t == Tok::Eq || t == Tok::Ne || t == Tok::Lt || t == Tok::Gt || t == Tok::Le || t == Tok::Ge;
    }

    static Op opOf(Tok t)
    {
        switch (t) {
        case Tok::Eq: return Op::Eq;
        case Tok::Ne: return Op::Ne;
        case Tok::Lt: return Op::Lt;
        case Tok::Gt: return Op::Gt;
        case Tok::Le: return Op::Le;
        default: return Op::Ge;
        }
    }

    FilterExpression::Node compareNode(int field, Op op) const
    {
        FilterExpression::Node node;
        node.type = FilterExpression::Node::Compare;
        node.field = field;
        node.fieldType = m_fields[field].dataType;
        node.kind = kindOf(node.fieldType);
        node.op = op;
        return node;
    }

    int parseComparison()
    {
        if (m_tok.type == Tok::End || m_tok.type == Tok::RParen || m_tok.type == Tok::And
            || m_tok.type == Tok::Or)
            fail(m_tok.pos, QStringLiteral("Bedingung erwartet"));
        const Operand left = parseOperand();
        const Token opTok = m_tok;

        if (opTok.type == Tok::Is) {
            requireField(left);
            advance();
            bool negated = false;
            if (m_tok.type == Tok::Not) {
                negated = true;
                advance();
            }
            if (m_tok.type != Tok::Null)
                fail(m_tok.pos, QStringLiteral("NULL erwartet"));
            advance();
            return add(compareNode(left.field, negated ? Op::IsNotNull : Op::IsNull));
        }

        if (opTok.type == Tok::Like || opTok.type == Tok::Not) {
            requireField(left);
            bool negated = false;
            if (opTok.type == Tok::Not) {
                advance();
                if (m_tok.type != Tok::Like)
                    fail(m_tok.pos, QStringLiteral("LIKE erwartet"));
                negated = true;
            }
            advance();
            const Operand right = parseOperand();
            if (right.type != Tok::String)
                fail(right.pos, QStringLiteral("Zeichenkette erwartet"));
            FilterExpression::Node node = compareNode(left.field, negated ? Op::NotLike : Op::Like);
            requireComparable(node, left);
            compileLike(node, right.text);
            return add(std::move(node));
        }

        if (!isComparison(opTok.type)) {
            // A logical field on its own is a condition: "SEDAN", "NOT SEDAN".
            if (left.field >= 0 && kindOf(m_fields[left.field].dataType) == Kind::Bool) {
                FilterExpression::Node node = compareNode(left.field, Op::Eq);
                node.boolean = true;
                return add(std::move(node));
            }
            fail(opTok.pos, QStringLiteral("Vergleichsoperator erwartet"));
        }
        advance();
        const Operand right = parseOperand();
        Op op = opOf(opTok.type);
        const Operand *field = &left;
        const Operand *constant = &right;
        if (left.field < 0) {
            if (right.field < 0)
                fail(left.pos, QStringLiteral("Feldname erwartet"));
            std::swap(field, constant);
            op = mirrored(op);
        } else if (right.field >= 0) {
            fail(right.pos, QStringLiteral("Konstante erwartet"));
        }
        if (constant->type == Tok::Null) {
            // "= NULL" and "<> NULL" read as IS NULL and IS NOT NULL.
            if (op != Op::Eq && op != Op::Ne)
                fail(opTok.pos, QStringLiteral("'=' oder '<>' vor NULL erwartet"));
            return add(compareNode(field->field, op == Op::Eq ? Op::IsNull : Op::IsNotNull));
        }
        FilterExpression::Node node = compareNode(field->field, op);
        requireComparable(node, *field);
        setConstant(node, *constant);
        return add(std::move(node));
    }

    void requireField(const Operand &o) const
    {
        if (o.field < 0)
            fail(o.pos, QStringLiteral("Feldname erwartet"));
    }

    void requireComparable(const FilterExpression::Node &node, const Operand &field) const
    {
        if (node.kind == Kind::None)
            fail(field.pos, QStringLiteral("Feld '%1' kann nur mit IS NULL geprüft werden").arg(m_fields[node.field].name));
    }

    void compileLike(FilterExpression::Node &node, const QString &pattern)
    {
        const QStringView trimmed = withoutTrailingBlanks(pattern);
        for (const QChar c : trimmed) {
            LikeItem item;
            if (c == QLatin1Char('*') || c == QLatin1Char('%')) {
                if (!node.like.empty() && node.like.back().type == LikeItem::Any)
                    continue;
                item.type = LikeItem::Any;
            } else if (c == QLatin1Char('_') || c == QLatin1Char('?')) {
                item.type = LikeItem::One;
            } else {
                item.ch = c.unicode();
                item.folded = char16_t(QChar::toCaseFolded(char32_t(c.unicode())));
            }
            node.like.push_back(item);
        }
        // A pattern is matched unit by unit either way: stored text can take it.
        node.byText = true;
    }

    void setNumber(FilterExpression::Node &node, const QString &text, bool negative, int pos) const
    {
        bool ok = false;
        const QString t = text.trimmed();
        const qint64 i = t.toLongLong(&ok);
        if (ok) {
            node.isInteger = true;
            node.integer = negative ? -i : i;
            node.number = double(node.integer);
            return;
        }
        QString d = t;
        if (!d.contains(QLatin1Char('.')))
            d.replace(QLatin1Char(','), QLatin1Char('.'));
        const double v = d.toDouble(&ok);
        if (!ok || !std::isfinite(v))
            fail(pos, QStringLiteral("Zahl erwartet, '%1' ist keine").arg(text));
        node.number = negative ? -v : v;
    }

    void setDate(FilterExpression::Node &node, const QString &text, bool literal, int pos) const
    {
        // #yyyy-mm-dd# or #dd.mm.yyyy#, a time of day optional after a blank.
        static const QRegularExpression pattern(QStringLiteral(
            "^(?:(\\d{4})-(\\d{1,2})-(\\d{1,2})|(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4}))"
            "(?:\\s+(\\d{1,2}):(\\d{2})(?::(\\d{2}))?)?$"));
        QDate date;
        QTime time(0, 0);
        bool hasTime = false;
        if (const auto m = pattern.match(text); m.hasMatch()) {
            date = m.hasCaptured(1) ? QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt())
                                    : QDate(m.captured(6).toInt(), m.captured(5).toInt(), m.captured(4).toInt());
            if (m.hasCaptured(7)) {
                hasTime = true;
                time = QTime(m.captured(7).toInt(), m.captured(8).toInt(), m.captured(9).toInt());
            }
        } else if (!literal) {
            // A string also takes the two-digit years the data entry takes.
            try {
                const QDateTime dt = parseValue(text, ftDateTime).toDateTime();
                date = dt.date();
                time = dt.time();
                hasTime = text.trimmed().contains(QLatin1Char(' '));
            } catch (const EngineError &) {
            }
        }
        if (!date.isValid() || !time.isValid())
            fail(pos, QStringLiteral("Datum erwartet (#jjjj-mm-tt# oder #tt.mm.jjjj#), '%1' ist keins").arg(text));
        node.day = date.toJulianDay();
        node.msecs = time.msecsSinceStartOfDay();
        node.hasTime = hasTime;
        if (date.year() >= 1 && date.year() <= 9999) {
            const QByteArray digits = QString::asprintf("%04d%02d%02d", date.year(), date.month(), date.day()).toLatin1();
            std::copy(digits.begin(), digits.end(), node.stamp.begin());
            node.stamped = true;
        }
    }

    void setConstant(FilterExpression::Node &node, const Operand &c) const
    {
        const Tok t = c.type;
        switch (node.kind) {
        case Kind::Text:
            if (t == Tok::String || t == Tok::Number) {
                const QString text = t == Tok::Number && c.negative ? QLatin1Char('-') + c.text : c.text;
                node.text = withoutTrailingBlanks(text).toString();
                if (t == Tok::String && text.endsWith(QLatin1Char('*')) && (node.op == Op::Eq || node.op == Op::Ne)) {
                    node.partial = true;
                    node.prefix = text.left(text.size() - 1);
                }
                node.foldedText = foldedUnits(node.text);
                node.foldedPrefix = foldedUnits(node.prefix);
                node.byText = !hasSurrogates(node.text) && !hasSurrogates(node.prefix);
                return;
            }
            fail(c.pos, QStringLiteral("Zeichenkette erwartet"));
        case Kind::Number:
            if (t == Tok::Number || t == Tok::String)
                return setNumber(node, c.text, c.negative, c.pos);
            fail(c.pos, QStringLiteral("Zahl erwartet"));
        case Kind::Date:
            if (t == Tok::Date || t == Tok::String)
                return setDate(node, c.text, t == Tok::Date, c.pos);
            fail(c.pos, QStringLiteral("Datum erwartet"));
        case Kind::Time:
            if (t == Tok::String) {
                try {
                    node.msecs = parseValue(c.text, ftTime).toTime().msecsSinceStartOfDay();
                    return;
                } catch (const EngineError &) {
                }
            }
            fail(c.pos, QStringLiteral("Uhrzeit als 'hh:mm:ss' erwartet"));
        case Kind::Bool:
            if (t == Tok::True || t == Tok::False) {
                node.boolean = t == Tok::True;
                return;
            }
            if (t == Tok::String) {
                try {
                    node.boolean = parseValue(c.text, ftBoolean).toBool();
                    return;
                } catch (const EngineError &) {
                }
            }
            fail(c.pos, QStringLiteral("TRUE oder FALSE erwartet"));
        case Kind::None:
            break;
        }
    }

    const QString &m_text;
    const QVector<FieldDef> &m_fields;
    FilterExpression &m_out;
    Token m_tok;
    int m_at = 0;
    int m_depth = 0;
};

FilterExpression::FilterExpression() = default;
FilterExpression::~FilterExpression() = default;
FilterExpression::FilterExpression(const FilterExpression &other) = default;
FilterExpression &FilterExpression::operator=(const FilterExpression &other) = default;
FilterExpression::FilterExpression(FilterExpression &&) noexcept = default;
FilterExpression &FilterExpression::operator=(FilterExpression &&) noexcept = default;

FilterExpression FilterExpression::parse(const QString &text, const QVector<FieldDef> &fields)
{
    FilterExpression expression;
    expression.m_text = text;
    FilterParser(text, fields, expression).run();
    const QVector<int> used = expression.fieldsUsed();
    expression.m_slotOf.assign(size_t(fields.size()), -1);
    for (int k = 0; k < used.size(); ++k)
        expression.m_slotOf[size_t(used.at(k))] = k;
    return expression;
}

QVector<int> FilterExpression::fieldsUsed() const
{
    QVector<int> used;
    for (const Node &node : m_nodes) {
        if (node.type == Node::Compare && !used.contains(node.field))
            used.append(node.field);
    }
    std::sort(used.begin(), used.end());
    return used;
}

// --- evaluation ------------------------------------------------------------------

namespace {

bool compareText(const FilterExpression::Node &node, const QVariant &value, TFilterOptions options);
bool compareTextView(const FilterExpression::Node &node, QStringView text, TFilterOptions options);
int compareCell(const FilterExpression::Node &node, const RawCell &cell, const Utf8Table *table, TFilterOptions options);
bool compareNumber(const FilterExpression::Node &node, const QVariant &value);
bool compareDate(const FilterExpression::Node &node, const QVariant &value);

} // namespace

bool FilterExpression::matches(const std::function<QVariant(int)> &valueOf, TFilterOptions options) const
{
    if (m_root < 0)
        return true;
    return eval(m_root, valueOf, options, Cells());
}

bool FilterExpression::matches(RawCellSource &cells, RowId row, const std::function<QVariant(int)> &valueOf,
                               TFilterOptions options) const
{
    if (m_root < 0)
        return true;
    return eval(m_root, valueOf, options, Cells{&cells, row});
}

bool FilterExpression::matchesGathered(RawCellSource &source, qsizetype index, const Utf8Table *table,
                                       const std::function<QVariant(int)> &valueOf, TFilterOptions options) const
{
    if (m_root < 0)
        return true;
    Cells given;
    given.gathered = &source;
    given.index = index;
    given.table = table;
    return eval(m_root, valueOf, options, given);
}

bool FilterExpression::eval(int index, const std::function<QVariant(int)> &valueOf, TFilterOptions options,
                            const Cells &cells) const
{
    const Node &node = m_nodes[size_t(index)];
    switch (node.type) {
    case Node::And:
        for (const int child : node.children) {
            if (!eval(child, valueOf, options, cells))
                return false;
        }
        return true;
    case Node::Or:
        for (const int child : node.children) {
            if (eval(child, valueOf, options, cells))
                return true;
        }
        return false;
    case Node::Not:
        return !eval(node.children.front(), valueOf, options, cells);
    case Node::Compare:
        break;
    }

    if (cells.gathered) {
        const RawCell cell = cells.gathered->gatheredCell(cells.index, m_slotOf[size_t(node.field)]);
        if (cell.form != RawCell::Value) {
            const int result = compareCell(node, cell, cells.table, options);
            if (result >= 0)
                return result == 1;
        }
    } else if (cells.source) {
        const RawCell cell = cells.source->rawCell(cells.row, node.field);
        if (cell.form != RawCell::Value) {
            const int result = compareCell(node, cell, cells.source->utf8Table(), options);
            if (result >= 0)
                return result == 1;
        }
    }

    const QVariant value = valueOf(node.field);
    const bool null = !value.isValid() || value.isNull();
    if (node.op == Op::IsNull)
        return null;
    if (node.op == Op::IsNotNull)
        return !null;
    if (null)
        return false;
    if (node.op == Op::Like || node.op == Op::NotLike) {
        const bool ci = options & foCaseInsensitive;
        bool hit;
        if (value.typeId() == QMetaType::QString && node.kind == Kind::Text) {
            hit = likeMatch(withoutTrailingBlanks(*static_cast<const QString *>(value.constData())), node.like, ci);
        } else {
            const QString text = node.kind == Kind::Text ? value.toString() : formatValue(value, node.fieldType);
            hit = likeMatch(withoutTrailingBlanks(text), node.like, ci);
        }
        return node.op == Op::Like ? hit : !hit;
    }
    switch (node.kind) {
    case Kind::Text:
        return compareText(node, value, options);
    case Kind::Number:
        return compareNumber(node, value);
    case Kind::Date:
        return compareDate(node, value);
    case Kind::Time: {
        const QTime t = value.typeId() == QMetaType::QDateTime ? value.toDateTime().time() : value.toTime();
        return t.isValid() && ordered(node.op, t.msecsSinceStartOfDay(), node.msecs);
    }
    case Kind::Bool: {
        bool b;
        if (value.typeId() == QMetaType::Bool) {
            b = value.toBool();
        } else {
            try {
                b = parseValue(value.toString(), ftBoolean).toBool();
            } catch (const EngineError &) {
                return false;
            }
        }
        return ordered(node.op, int(b), int(node.boolean));
    }
    case Kind::None:
        break;
    }
    return false;
}

namespace {

bool compareText(const FilterExpression::Node &node, const QVariant &value, TFilterOptions options)
{
    if (value.typeId() == QMetaType::QString)
        return compareTextView(node, *static_cast<const QString *>(value.constData()), options);
    const QString converted = value.toString();
    return compareTextView(node, converted, options);
}

bool compareTextView(const FilterExpression::Node &node, QStringView text, TFilterOptions options)
{
    text = withoutTrailingBlanks(text);
    const Qt::CaseSensitivity cs = (options & foCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (node.partial && !(options & foNoPartialCompare)) {
        const bool hit = text.startsWith(node.prefix, cs);
        return node.op == Op::Eq ? hit : !hit;
    }
    return byResult(node.op, text.compare(node.text, cs));
}

bool isWhole(TFieldType type)
{
    return type == ftSmallint || type == ftInteger || type == ftWord || type == ftAutoInc || type == ftLargeint;
}

// A comparison on a cell as the source stores it, with the results the value
// would give: 1 or 0, or -1 where the value must decide.
int compareCell(const FilterExpression::Node &node, const RawCell &cell, const Utf8Table *table, TFilterOptions options)
{
    const bool null = cell.form == RawCell::Null;
    if (node.op == Op::IsNull)
        return null;
    if (node.op == Op::IsNotNull)
        return !null;
    if (null)
        return 0;
    const bool like = node.op == Op::Like || node.op == Op::NotLike;
    switch (cell.form) {
    case RawCell::Text: {
        if (node.kind != Kind::Text || !table || !node.byText)
            return -1;
        const auto *bytes = reinterpret_cast<const unsigned char *>(cell.data);
        int n = cell.size;
        const bool ci = options & foCaseInsensitive;
        // A character decoding to a blank may end the bytes (code pages without ASCII's blank at 0x20).
        while (n > 0 && table->unicode[bytes[n - 1]] == u' ')
            --n;
        if (like) {
            const bool hit = likeMatchStored(bytes, n, node.like, ci, *table);
            return node.op == Op::Like ? hit : !hit;
        }
        // Compared character by character through the code page's table, folded
        // or not, as QStringView::compare() compares the decoded text.
        const char16_t *chars = ci ? table->folded.data() : table->unicode.data();
        if (node.partial && !(options & foNoPartialCompare)) {
            const QString &prefix = ci ? node.foldedPrefix : node.prefix;
            bool hit = n >= prefix.size();
            for (qsizetype i = 0; hit && i < prefix.size(); ++i)
                hit = chars[bytes[i]] == prefix[i].unicode();
            return node.op == Op::Eq ? hit : !hit;
        }
        const QString &constant = ci ? node.foldedText : node.text;
        const qsizetype m = constant.size();
        if ((node.op == Op::Eq || node.op == Op::Ne) && n != m)
            return node.op == Op::Ne; // only equal lengths can be equal
        const qsizetype common = std::min<qsizetype>(n, m);
        int cmp = 0;
        for (qsizetype i = 0; i < common && cmp == 0; ++i)
            cmp = int(chars[bytes[i]]) - int(constant[i].unicode());
        if (cmp == 0)
            cmp = n < m ? -1 : (n > m ? 1 : 0);
        return byResult(node.op, cmp);
    }
    case RawCell::Number: {
        if (node.kind != Kind::Number || like)
            return -1;
        const char *begin = cell.data;
        const char *end = cell.data + cell.size;
        if (isWhole(node.fieldType)) {
            long long v = 0;
            const auto r = std::from_chars(begin, end, v);
            if (r.ec != std::errc() || r.ptr != end)
                return -1;
            if (node.isInteger)
                return ordered(node.op, qint64(v), node.integer);
            return ordered(node.op, double(v), node.number);
        }
        double d = 0;
        const auto r = std::from_chars(begin, end, d, std::chars_format::general);
        if (r.ec != std::errc() || r.ptr != end)
            return -1;
        return !std::isnan(d) && ordered(node.op, d, node.number);
    }
    case RawCell::Date8: {
        if (node.kind != Kind::Date || like)
            return -1;
        if (node.stamped) {
            // Both dates as yyyymmdd digits: their byte order is the order of the days.
            int cmp = std::memcmp(cell.data, node.stamp.data(), 8);
            if (cmp == 0 && node.hasTime && node.msecs > 0)
                cmp = -1; // the stored day has no time of day: its midnight comes first
            return byResult(node.op, cmp);
        }
        const char *p = cell.data;
        const int year = (p[0] - '0') * 1000 + (p[1] - '0') * 100 + (p[2] - '0') * 10 + (p[3] - '0');
        const qint64 day = QDate(year, (p[4] - '0') * 10 + (p[5] - '0'), (p[6] - '0') * 10 + (p[7] - '0')).toJulianDay();
        if (!node.hasTime)
            return ordered(node.op, day, node.day);
        return ordered(node.op, std::pair(day, 0), std::pair(node.day, node.msecs));
    }
    case RawCell::True:
    case RawCell::False:
        if (node.kind != Kind::Bool || like)
            return -1;
        return ordered(node.op, int(cell.form == RawCell::True), int(node.boolean));
    default:
        return -1;
    }
}

bool compareNumber(const FilterExpression::Node &node, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::LongLong: case QMetaType::Int: case QMetaType::UInt: case QMetaType::Short:
    case QMetaType::UShort: case QMetaType::Long: {
        const qint64 v = value.toLongLong();
        if (node.isInteger)
            return ordered(node.op, v, node.integer);
        return ordered(node.op, double(v), node.number);
    }
    case QMetaType::Double: case QMetaType::Float: {
        const double v = value.toDouble();
        return !std::isnan(v) && ordered(node.op, v, node.number);
    }
    default: {
        // A kind that hands numbers over as text (German or C notation).
        QString text = value.toString().trimmed();
        text.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        const double v = text.toDouble(&ok);
        return ok && !std::isnan(v) && ordered(node.op, v, node.number);
    }
    }
}

bool compareDate(const FilterExpression::Node &node, const QVariant &value)
{
    qint64 day;
    int msecs = 0;
    if (value.typeId() == QMetaType::QDate) {
        const QDate d = *static_cast<const QDate *>(value.constData());
        if (!d.isValid())
            return false;
        day = d.toJulianDay();
    } else if (value.typeId() == QMetaType::QDateTime) {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            return false;
        day = dt.date().toJulianDay();
        msecs = dt.time().msecsSinceStartOfDay();
    } else {
        const QDate d = value.toDate();
        if (!d.isValid())
            return false;
        day = d.toJulianDay();
    }
    // A constant without a time of day compares with the day alone, so
    // "= #2024-03-01#" finds every moment of that day in a date-time field.
    if (!node.hasTime)
        return ordered(node.op, day, node.day);
    return ordered(node.op, std::pair(day, msecs), std::pair(node.day, node.msecs));
}

} // namespace

} // namespace engine
