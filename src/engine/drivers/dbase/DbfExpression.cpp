#include "DbfExpression.h"

#include "EngineError.h"

#include <QDate>
#include <cmath>
#include <functional>

namespace engine::dbase {

namespace {

enum class Op {
    Literal, Field, Deleted, RecNo,
    Add, Sub, Mul, Div, Mod, Pow, Neg,
    Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Contains,
    And, Or, Not,
    Upper, Lower, Str, Dtos, Dtoc, Substr, Left, Right, Trim, Ltrim, Alltrim, Val, Iif,
    Space, Year, Month, Day, Abs, Int, Len, Ctod, Padl, Padr, Chr, Asc, Round, Empty,
};

[[noreturn]] void syntaxError(const QString &text, const QString &what)
{
    throw EngineError(ErrorKind::Unsupported, QStringLiteral("Der Ausdruck „%1“ lässt sich nicht auswerten: %2.").arg(text, what));
}

QString typeName(XValue::Type t)
{
    switch (t) {
    case XValue::Char: return QStringLiteral("Text");
    case XValue::Number: return QStringLiteral("Zahl");
    case XValue::Date: return QStringLiteral("Datum");
    case XValue::Logical: return QStringLiteral("Wahrheitswert");
    }
    return {};
}

QString rtrim(const QString &s)
{
    qsizetype n = s.size();
    while (n > 0 && s.at(n - 1) == QLatin1Char(' '))
        --n;
    return s.left(n);
}

QString ltrim(const QString &s)
{
    qsizetype n = 0;
    while (n < s.size() && s.at(n) == QLatin1Char(' '))
        ++n;
    return s.mid(n);
}

QString dtos(double day)
{
    if (day <= 0)
        return QString(8, QLatin1Char(' '));
    const QDate d = QDate::fromJulianDay(qint64(day));
    return QStringLiteral("%1%2%3")
        .arg(d.year(), 4, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.day(), 2, 10, QLatin1Char('0'));
}

// The number at the start of a text, as VAL() reads it: blanks, a sign, digits and one point.
double val(const QString &s)
{
    QString t = ltrim(s);
    qsizetype n = 0;
    if (n < t.size() && (t.at(n) == QLatin1Char('-') || t.at(n) == QLatin1Char('+')))
        ++n;
    bool point = false;
    while (n < t.size() && (t.at(n).isDigit() || (!point && t.at(n) == QLatin1Char('.')))) {
        point = point || t.at(n) == QLatin1Char('.');
        ++n;
    }
    return t.left(n).toDouble();
}

} // namespace

QString xbaseStr(double value, int length, int decimals)
{
    length = std::clamp(length, 1, 255);
    decimals = std::clamp(decimals, 0, std::max(0, length - 2));
    QString s = QString::number(value, 'f', decimals);
    if (s.size() > length) {
        // Fewer decimals before giving up, as xBase does.
        const int point = int(s.indexOf(QLatin1Char('.')));
        if (point >= 0 && point <= length) {
            const int room = length - point - 1;
            s = QString::number(value, 'f', std::max(0, room));
        }
    }
    if (s.size() > length)
        return QString(length, QLatin1Char('*'));
    return s.rightJustified(length, QLatin1Char(' '));
}

struct XExpression::Node {
    Op op = Op::Literal;
    XValue value;   // Literal
    int field = -1; // Field
    std::vector<std::unique_ptr<Node>> args;
};

namespace {

struct Parser {
    const QString &text;
    const QStringList &fieldNames;
    qsizetype pos = 0;
    std::vector<int> fields;
    bool usesDeleted = false;
    using NodePtr = std::unique_ptr<XExpression::Node>;

    [[noreturn]] void fail(const QString &what) const { syntaxError(text, what); }

    void skipBlanks()
    {
        while (pos < text.size() && text.at(pos).isSpace())
            ++pos;
    }
    bool peek(const char *token)
    {
        skipBlanks();
        const QLatin1String t(token);
        return text.mid(pos, t.size()).compare(t, Qt::CaseInsensitive) == 0;
    }
    bool accept(const char *token)
    {
        if (!peek(token))
            return false;
        pos += qsizetype(strlen(token));
        return true;
    }
    void expect(const char *token)
    {
        if (!accept(token))
            fail(QStringLiteral("„%1“ erwartet an Stelle %2").arg(QLatin1String(token)).arg(pos + 1));
    }

    static NodePtr make(Op op, std::vector<NodePtr> args = {})
    {
        auto n = std::make_unique<XExpression::Node>();
        n->op = op;
        n->args = std::move(args);
        return n;
    }
    static NodePtr binary(Op op, NodePtr a, NodePtr b)
    {
        std::vector<NodePtr> args;
        args.push_back(std::move(a));
        args.push_back(std::move(b));
        return make(op, std::move(args));
    }

    NodePtr parseOr()
    {
        NodePtr left = parseAnd();
        while (accept(".OR."))
            left = binary(Op::Or, std::move(left), parseAnd());
        return left;
    }
    NodePtr parseAnd()
    {
        NodePtr left = parseNot();
        while (accept(".AND."))
            left = binary(Op::And, std::move(left), parseNot());
        return left;
    }
    NodePtr parseNot()
    {
        if (accept(".NOT.") || (peek("!") && !peek("!=") && accept("!"))) {
            std::vector<NodePtr> args;
            args.push_back(parseNot());
            return make(Op::Not, std::move(args));
        }
        return parseComparison();
    }
    NodePtr parseComparison()
    {
        NodePtr left = parseSum();
        struct { const char *token; Op op; } const ops[] = {
            {"==", Op::ExactEq}, {"<>", Op::Ne}, {"!=", Op::Ne}, {"<=", Op::Le}, {">=", Op::Ge},
            {"=", Op::Eq}, {"#", Op::Ne}, {"<", Op::Lt}, {">", Op::Gt}, {"$", Op::Contains},
        };
        for (const auto &o : ops) {
            if (accept(o.token))
                return binary(o.op, std::move(left), parseSum());
        }
        return left;
    }
    NodePtr parseSum()
    {
        NodePtr left = parseProduct();
        for (;;) {
            if (accept("+"))
                left = binary(Op::Add, std::move(left), parseProduct());
            else if (peek("->"))
                fail(QStringLiteral("unerwartetes „->“ an Stelle %1").arg(pos + 1));
            else if (accept("-"))
                left = binary(Op::Sub, std::move(left), parseProduct());
            else
                return left;
        }
    }
    NodePtr parseProduct()
    {
        NodePtr left = parseUnary();
        for (;;) {
            if (peek("**"))
                return left; // handled in parsePower
            if (accept("*"))
                left = binary(Op::Mul, std::move(left), parseUnary());
            else if (accept("/"))
                left = binary(Op::Div, std::move(left), parseUnary());
            else if (accept("%"))
                left = binary(Op::Mod, std::move(left), parseUnary());
            else
                return left;
        }
    }
    NodePtr parseUnary()
    {
        if (accept("-")) {
            std::vector<NodePtr> args;
            args.push_back(parseUnary());
            return make(Op::Neg, std::move(args));
        }
        if (accept("+"))
            return parseUnary();
        return parsePower();
    }
    NodePtr parsePower()
    {
        NodePtr left = parsePrimary();
        if (accept("**") || accept("^"))
            return binary(Op::Pow, std::move(left), parseUnary());
        return left;
    }

    NodePtr literal(XValue v)
    {
        auto n = make(Op::Literal);
        n->value = std::move(v);
        return n;
    }

    NodePtr parsePrimary()
    {
        skipBlanks();
        if (pos >= text.size())
            fail(QStringLiteral("der Ausdruck endet unerwartet"));
        const QChar c = text.at(pos);
        if (c == QLatin1Char('(')) {
            ++pos;
            NodePtr inner = parseOr();
            expect(")");
            return inner;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            const qsizetype end = text.indexOf(close, pos + 1);
            if (end < 0)
                fail(QStringLiteral("eine Zeichenkette ist nicht abgeschlossen"));
            NodePtr n = literal(XValue::ofText(text.mid(pos + 1, end - pos - 1)));
            pos = end + 1;
            return n;
        }
        if (c.isDigit() || (c == QLatin1Char('.') && pos + 1 < text.size() && text.at(pos + 1).isDigit())) {
            qsizetype end = pos;
            while (end < text.size() && (text.at(end).isDigit() || text.at(end) == QLatin1Char('.')))
                ++end;
            bool ok = false;
            const double d = text.mid(pos, end - pos).toDouble(&ok);
            if (!ok)
                fail(QStringLiteral("„%1“ ist keine Zahl").arg(text.mid(pos, end - pos)));
            pos = end;
            return literal(XValue::ofNumber(d));
        }
        if (c == QLatin1Char('.')) {
            for (const char *t : {".T.", ".Y."}) {
                if (accept(t))
                    return literal(XValue::ofLogical(true));
            }
            for (const char *t : {".F.", ".N."}) {
                if (accept(t))
                    return literal(XValue::ofLogical(false));
            }
            if (accept(".TRUE."))
                return literal(XValue::ofLogical(true));
            if (accept(".FALSE."))
                return literal(XValue::ofLogical(false));
        }
        if (c.isLetter() || c == QLatin1Char('_'))
            return parseName();
        fail(QStringLiteral("unerwartetes Zeichen „%1“ an Stelle %2").arg(c).arg(pos + 1));
    }

    QString identifier()
    {
        skipBlanks();
        const qsizetype start = pos;
        while (pos < text.size() && (text.at(pos).isLetterOrNumber() || text.at(pos) == QLatin1Char('_')))
            ++pos;
        return text.mid(start, pos - start);
    }

    int fieldIndex(const QString &name) const
    {
        for (int i = 0; i < fieldNames.size(); ++i) {
            if (fieldNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
        // Visual FoxPro keys may name a container's long field name, which the
        // table stores cut to ten characters.
        if (name.size() > 10) {
            for (int i = 0; i < fieldNames.size(); ++i) {
                if (fieldNames.at(i).size() == 10 && name.startsWith(fieldNames.at(i), Qt::CaseInsensitive))
                    return i;
            }
        }
        return -1;
    }

    NodePtr parseName()
    {
        QString name = identifier();
        // An alias prefix names the table itself: "table->field" (or "table.field").
        if (accept("->"))
            name = identifier();
        skipBlanks();
        if (pos < text.size() && text.at(pos) == QLatin1Char('.') && pos + 1 < text.size()
            && (text.at(pos + 1).isLetter() || text.at(pos + 1) == QLatin1Char('_'))) {
            const qsizetype save = pos;
            ++pos;
            const QString member = identifier();
            // ".AND." and friends follow a name directly in "a.AND.b".
            if (pos < text.size() && text.at(pos) == QLatin1Char('.'))
                pos = save;
            else
                name = member;
        }
        skipBlanks();
        if (pos < text.size() && text.at(pos) == QLatin1Char('('))
            return parseCall(name);
        const int index = fieldIndex(name);
        if (index < 0)
            fail(QStringLiteral("das Feld „%1“ gibt es in der Tabelle nicht").arg(name));
        auto n = make(Op::Field);
        n->field = index;
        if (std::find(fields.begin(), fields.end(), index) == fields.end())
            fields.push_back(index);
        return n;
    }

    NodePtr parseCall(const QString &name)
    {
        expect("(");
        std::vector<NodePtr> args;
        if (!accept(")")) {
            do
                args.push_back(parseOr());
            while (accept(","));
            expect(")");
        }
        struct Fn { const char *name; Op op; int min; int max; };
        static const Fn functions[] = {
            {"UPPER", Op::Upper, 1, 1}, {"LOWER", Op::Lower, 1, 1}, {"STR", Op::Str, 1, 3},
            {"DTOS", Op::Dtos, 1, 1}, {"DTOC", Op::Dtoc, 1, 2}, {"SUBSTR", Op::Substr, 2, 3},
            {"SUBS", Op::Substr, 2, 3}, {"LEFT", Op::Left, 2, 2}, {"RIGHT", Op::Right, 2, 2},
            {"TRIM", Op::Trim, 1, 1}, {"RTRIM", Op::Trim, 1, 1}, {"LTRIM", Op::Ltrim, 1, 1},
            {"ALLTRIM", Op::Alltrim, 1, 1}, {"VAL", Op::Val, 1, 1}, {"IIF", Op::Iif, 3, 3},
            {"IF", Op::Iif, 3, 3}, {"DELETED", Op::Deleted, 0, 0}, {"RECNO", Op::RecNo, 0, 0},
            {"SPACE", Op::Space, 1, 1}, {"YEAR", Op::Year, 1, 1}, {"MONTH", Op::Month, 1, 1},
            {"DAY", Op::Day, 1, 1}, {"ABS", Op::Abs, 1, 1}, {"INT", Op::Int, 1, 1},
            {"LEN", Op::Len, 1, 1}, {"CTOD", Op::Ctod, 1, 1}, {"PADL", Op::Padl, 2, 3},
            {"PADR", Op::Padr, 2, 3}, {"CHR", Op::Chr, 1, 1}, {"ASC", Op::Asc, 1, 1},
            {"ROUND", Op::Round, 2, 2}, {"EMPTY", Op::Empty, 1, 1},
        };
        for (const Fn &f : functions) {
            if (name.compare(QLatin1String(f.name), Qt::CaseInsensitive) != 0)
                continue;
            if (int(args.size()) < f.min || int(args.size()) > f.max)
                fail(QStringLiteral("die Funktion %1 erhält %2 Argumente").arg(name.toUpper()).arg(args.size()));
            if (f.op == Op::Deleted)
                usesDeleted = true;
            return make(f.op, std::move(args));
        }
        fail(QStringLiteral("die Funktion %1 ist nicht bekannt").arg(name.toUpper()));
    }
};

struct Evaluator {
    const QString &text;
    const XRecord &record;

    [[noreturn]] void wrongType(const char *what, const XValue &v) const
    {
        syntaxError(text, QStringLiteral("%1 erwartet einen anderen Typ als %2").arg(QLatin1String(what), typeName(v.type)));
    }
    const XValue &need(const XValue &v, XValue::Type t, const char *what) const
    {
        if (v.type != t)
            wrongType(what, v);
        return v;
    }
    QString textOf(const XValue &v, const char *what) const { return need(v, XValue::Char, what).text; }
    double numberOf(const XValue &v, const char *what) const { return need(v, XValue::Number, what).number; }

    int compare(const XValue &a, const XValue &b, bool exact) const
    {
        if (a.type != b.type)
            syntaxError(text, QStringLiteral("%1 und %2 lassen sich nicht vergleichen").arg(typeName(a.type), typeName(b.type)));
        switch (a.type) {
        case XValue::Char: {
            if (exact)
                return rtrim(a.text).compare(rtrim(b.text));
            // Without SET EXACT a text equals every longer text it begins.
            const QString left = a.text.left(b.text.size());
            return left.compare(b.text);
        }
        case XValue::Logical: return int(a.flag) - int(b.flag);
        default: return a.number < b.number ? -1 : (b.number < a.number ? 1 : 0);
        }
    }

    XValue eval(const XExpression::Node &n) const
    {
        const auto arg = [&](size_t i) { return eval(*n.args[i]); };
        switch (n.op) {
        case Op::Literal: return n.value;
        case Op::Field: return record.field(n.field);
        case Op::Deleted: return XValue::ofLogical(record.deleted());
        case Op::RecNo: return XValue::ofNumber(double(record.recordNumber()));
        case Op::Add: {
            const XValue a = arg(0), b = arg(1);
            if (a.type == XValue::Char && b.type == XValue::Char)
                return XValue::ofText(a.text + b.text);
            if (a.type == XValue::Date && b.type == XValue::Number)
                return XValue::ofDate(qint64(a.number + b.number));
            if (a.type == XValue::Number && b.type == XValue::Date)
                return XValue::ofDate(qint64(a.number + b.number));
            return XValue::ofNumber(numberOf(a, "+") + numberOf(b, "+"));
        }
        case Op::Sub: {
            const XValue a = arg(0), b = arg(1);
            if (a.type == XValue::Char && b.type == XValue::Char) {
                // "-" joins texts and moves the left one's trailing blanks to the end.
                const QString t = rtrim(a.text);
                return XValue::ofText(t + b.text + QString(a.text.size() - t.size(), QLatin1Char(' ')));
            }
            if (a.type == XValue::Date && b.type == XValue::Date)
                return XValue::ofNumber(a.number - b.number);
            if (a.type == XValue::Date)
                return XValue::ofDate(qint64(a.number - numberOf(b, "-")));
            return XValue::ofNumber(numberOf(a, "-") - numberOf(b, "-"));
        }
        case Op::Mul: return XValue::ofNumber(numberOf(arg(0), "*") * numberOf(arg(1), "*"));
        case Op::Div: {
            const double d = numberOf(arg(1), "/");
            return XValue::ofNumber(d == 0 ? 0 : numberOf(arg(0), "/") / d);
        }
        case Op::Mod: {
            const double d = numberOf(arg(1), "%");
            return XValue::ofNumber(d == 0 ? 0 : std::fmod(numberOf(arg(0), "%"), d));
        }
        case Op::Pow: return XValue::ofNumber(std::pow(numberOf(arg(0), "**"), numberOf(arg(1), "**")));
        case Op::Neg: return XValue::ofNumber(-numberOf(arg(0), "-"));
        case Op::Eq: return XValue::ofLogical(compare(arg(0), arg(1), false) == 0);
        case Op::ExactEq: return XValue::ofLogical(compare(arg(0), arg(1), true) == 0);
        case Op::Ne: return XValue::ofLogical(compare(arg(0), arg(1), false) != 0);
        case Op::Lt: return XValue::ofLogical(compare(arg(0), arg(1), false) < 0);
        case Op::Le: return XValue::ofLogical(compare(arg(0), arg(1), false) <= 0);
        case Op::Gt: return XValue::ofLogical(compare(arg(0), arg(1), false) > 0);
        case Op::Ge: return XValue::ofLogical(compare(arg(0), arg(1), false) >= 0);
        case Op::Contains: return XValue::ofLogical(textOf(arg(1), "$").contains(textOf(arg(0), "$")));
        case Op::And: {
            if (!need(arg(0), XValue::Logical, ".AND.").flag)
                return XValue::ofLogical(false);
            return XValue::ofLogical(need(arg(1), XValue::Logical, ".AND.").flag);
        }
        case Op::Or: {
            if (need(arg(0), XValue::Logical, ".OR.").flag)
                return XValue::ofLogical(true);
            return XValue::ofLogical(need(arg(1), XValue::Logical, ".OR.").flag);
        }
        case Op::Not: return XValue::ofLogical(!need(arg(0), XValue::Logical, ".NOT.").flag);
        case Op::Upper: return XValue::ofText(textOf(arg(0), "UPPER").toUpper());
        case Op::Lower: return XValue::ofText(textOf(arg(0), "LOWER").toLower());
        case Op::Str: {
            const double v = numberOf(arg(0), "STR");
            const int length = n.args.size() > 1 ? int(numberOf(arg(1), "STR")) : 10;
            const int decimals = n.args.size() > 2 ? int(numberOf(arg(2), "STR")) : 0;
            return XValue::ofText(xbaseStr(v, length, decimals));
        }
        case Op::Dtos: return XValue::ofText(dtos(need(arg(0), XValue::Date, "DTOS").number));
        case Op::Dtoc: {
            const XValue d = need(arg(0), XValue::Date, "DTOC");
            if (n.args.size() > 1) // DTOC(d, 1) is DTOS(d)
                return XValue::ofText(dtos(d.number));
            if (d.number <= 0)
                return XValue::ofText(QStringLiteral("  /  /  "));
            return XValue::ofText(QDate::fromJulianDay(qint64(d.number)).toString(QStringLiteral("MM/dd/yy")));
        }
        case Op::Substr: {
            const QString s = textOf(arg(0), "SUBSTR");
            const qsizetype start = qsizetype(numberOf(arg(1), "SUBSTR"));
            if (start < 1 || start > s.size())
                return XValue::ofText(QString());
            const qsizetype length = n.args.size() > 2 ? qsizetype(numberOf(arg(2), "SUBSTR")) : s.size();
            return XValue::ofText(s.mid(start - 1, std::max<qsizetype>(0, length)));
        }
        case Op::Left: return XValue::ofText(textOf(arg(0), "LEFT").left(std::max<qsizetype>(0, qsizetype(numberOf(arg(1), "LEFT")))));
        case Op::Right: return XValue::ofText(textOf(arg(0), "RIGHT").right(std::max<qsizetype>(0, qsizetype(numberOf(arg(1), "RIGHT")))));
        case Op::Trim: return XValue::ofText(rtrim(textOf(arg(0), "TRIM")));
        case Op::Ltrim: return XValue::ofText(ltrim(textOf(arg(0), "LTRIM")));
        case Op::Alltrim: return XValue::ofText(ltrim(rtrim(textOf(arg(0), "ALLTRIM"))));
        case Op::Val: return XValue::ofNumber(val(textOf(arg(0), "VAL")));
        case Op::Iif: return need(arg(0), XValue::Logical, "IIF").flag ? arg(1) : arg(2);
        case Op::Space: return XValue::ofText(QString(std::clamp(int(numberOf(arg(0), "SPACE")), 0, 65535), QLatin1Char(' ')));
        case Op::Year:
        case Op::Month:
        case Op::Day: {
            const XValue d = need(arg(0), XValue::Date, "YEAR/MONTH/DAY");
            if (d.number <= 0)
                return XValue::ofNumber(0);
            const QDate date = QDate::fromJulianDay(qint64(d.number));
            return XValue::ofNumber(n.op == Op::Year ? date.year() : n.op == Op::Month ? date.month() : date.day());
        }
        case Op::Abs: return XValue::ofNumber(std::fabs(numberOf(arg(0), "ABS")));
        case Op::Int: return XValue::ofNumber(std::trunc(numberOf(arg(0), "INT")));
        case Op::Len: return XValue::ofNumber(double(textOf(arg(0), "LEN").size()));
        case Op::Ctod: {
            const QDate d = QDate::fromString(rtrim(textOf(arg(0), "CTOD")), QStringLiteral("MM/dd/yy"));
            return XValue::ofDate(d.isValid() ? d.addYears(d.year() < 1950 ? 100 : 0).toJulianDay() : 0);
        }
        case Op::Padl:
        case Op::Padr: {
            const XValue v = arg(0);
            QString s = v.type == XValue::Char ? v.text
                      : v.type == XValue::Number ? QString::number(v.number)
                      : v.type == XValue::Date ? dtos(v.number) : QString(v.flag ? QLatin1Char('T') : QLatin1Char('F'));
            const qsizetype length = std::clamp<qsizetype>(qsizetype(numberOf(arg(1), "PAD")), 0, 65535);
            const QChar fill = n.args.size() > 2 && !textOf(arg(2), "PAD").isEmpty() ? arg(2).text.at(0) : QLatin1Char(' ');
            s = s.left(length);
            return XValue::ofText(n.op == Op::Padl ? s.rightJustified(length, fill) : s.leftJustified(length, fill));
        }
        case Op::Chr: return XValue::ofText(QString(QChar(char16_t(std::clamp(int(numberOf(arg(0), "CHR")), 0, 255)))));
        case Op::Asc: {
            const QString s = textOf(arg(0), "ASC");
            return XValue::ofNumber(s.isEmpty() ? 0 : s.at(0).unicode());
        }
        case Op::Round: {
            const double f = std::pow(10.0, numberOf(arg(1), "ROUND"));
            return XValue::ofNumber(std::round(numberOf(arg(0), "ROUND") * f) / f);
        }
        case Op::Empty: {
            const XValue v = arg(0);
            switch (v.type) {
            case XValue::Char: return XValue::ofLogical(rtrim(v.text).isEmpty());
            case XValue::Logical: return XValue::ofLogical(!v.flag);
            default: return XValue::ofLogical(v.number == 0);
            }
        }
        }
        return {};
    }
};

} // namespace

XExpression::~XExpression() = default;

std::unique_ptr<XExpression> XExpression::parse(const QString &text, const QStringList &fieldNames)
{
    if (text.trimmed().isEmpty())
        syntaxError(text, QStringLiteral("er ist leer"));
    Parser p{text, fieldNames, 0, {}, false};
    std::unique_ptr<XExpression> e(new XExpression);
    e->m_text = text;
    e->m_root = p.parseOr();
    p.skipBlanks();
    if (p.pos < text.size())
        p.fail(QStringLiteral("unerwartetes „%1“ an Stelle %2").arg(text.mid(p.pos)).arg(p.pos + 1));
    e->m_fields = std::move(p.fields);
    e->m_usesDeleted = p.usesDeleted;
    return e;
}

XValue XExpression::evaluate(const XRecord &record) const
{
    return Evaluator{m_text, record}.eval(*m_root);
}

} // namespace engine::dbase
