// Filter expressions on rows made up in the test: syntax and precedence, each
// operator against each type, partial compare and the options, LIKE, dates,
// NULL, and the positions named by errors.
#include "EngineError.h"
#include "FilterExpression.h"
#include "TableDataset.h"
#include "TestSupport.h"

#include <QDate>
#include <QDateTime>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace engine;

namespace {

enum Col { NAME, YEAR, PREIS, DATUM, ZEIT, AKTIV, STRASSE, UHR, BILD, NOTIZ, MENGE };

QVector<FieldDef> fields()
{
    auto def = [](const char *name, TFieldType type, int size = 0) {
        FieldDef f;
        f.name = QString::fromUtf8(name);
        f.dataType = type;
        f.size = size;
        return f;
    };
    return {def("NAME", ftString, 20), def("YEAR", ftInteger), def("PREIS", ftFloat), def("DATUM", ftDate),
            def("ZEIT", ftDateTime), def("AKTIV", ftBoolean), def("Straße Nr", ftString, 30),
            def("UHR", ftTime), def("BILD", ftGraphic), def("NOTIZ", ftMemo), def("Menge", ftLargeint)};
}

// One record; the columns not given are null.
QVector<QVariant> row(std::initializer_list<std::pair<Col, QVariant>> values)
{
    QVector<QVariant> r(fields().size());
    for (const auto &[col, value] : values)
        r[col] = value;
    return r;
}

bool matches(const QString &text, const QVector<QVariant> &r, TFilterOptions options = 0)
{
    const FilterExpression e = FilterExpression::parse(text, fields());
    return e.matches([&](int f) { return r.value(f); }, options);
}

QString errorOf(const QString &text)
{
    try {
        FilterExpression::parse(text, fields());
    } catch (const EngineError &e) {
        return e.message();
    }
    return QString();
}

QString at(int position, const char *what)
{
    return QStringLiteral("Fehler im Filterausdruck an Position %1: %2").arg(position).arg(QString::fromUtf8(what));
}

#define S(x) QStringLiteral(x)

} // namespace

TEST(FilterSyntax, PrecedenceIsNotThenAndThenOr)
{
    const auto r = row({{NAME, S("POLO")}, {YEAR, qint64(2000)}, {AKTIV, false}});
    // OR binds weaker than AND: true OR (false AND false)
    EXPECT_TRUE(matches(S("NAME = 'POLO' OR YEAR = 1 AND AKTIV = TRUE"), r));
    EXPECT_FALSE(matches(S("(NAME = 'POLO' OR YEAR = 1) AND AKTIV = TRUE"), r));
    // NOT binds to the next condition only
    EXPECT_TRUE(matches(S("NOT YEAR = 1 AND NAME = 'POLO'"), r));
    EXPECT_FALSE(matches(S("NOT (YEAR = 2000 AND NAME = 'POLO')"), r));
    EXPECT_TRUE(matches(S("NOT NOT YEAR = 2000"), r));
    EXPECT_TRUE(matches(S("YEAR = 1 OR YEAR = 2 OR YEAR = 2000"), r));
    EXPECT_FALSE(matches(S("YEAR > 1 AND YEAR < 3000 AND NAME <> 'POLO'"), r));
}

TEST(FilterSyntax, KeywordsAndFieldNamesIgnoreCaseAndBracketsTakeAnyName)
{
    const auto r = row({{NAME, S("POLO")}, {STRASSE, S("Hauptstraße 1")}, {AKTIV, true}, {MENGE, qint64(7)}});
    EXPECT_TRUE(matches(S("name = 'POLO' and not aktiv is null oR yEaR = 3"), r));
    EXPECT_TRUE(matches(S("[Straße Nr] = 'Hauptstraße 1'"), r));
    EXPECT_TRUE(matches(S("[STRAßE NR] = 'x' OR [straße nr] LIKE 'Haupt%'"), r));
    EXPECT_TRUE(matches(S("[NAME]='POLO'AND(menge>=7)"), r));
    // a logical field alone is a condition
    EXPECT_TRUE(matches(S("AKTIV"), r));
    EXPECT_FALSE(matches(S("NOT AKTIV"), r));
    // a blank expression lets every record through
    EXPECT_TRUE(FilterExpression::parse(S("  "), fields()).isEmpty());
    EXPECT_TRUE(matches(S(""), r));
}

TEST(FilterSyntax, ConstantMayStandLeftOfTheField)
{
    const auto r = row({{YEAR, qint64(1990)}, {NAME, S("B")}});
    EXPECT_TRUE(matches(S("2000 > YEAR"), r));
    EXPECT_FALSE(matches(S("1990 < YEAR"), r));
    EXPECT_TRUE(matches(S("1990 <= YEAR"), r));
    EXPECT_TRUE(matches(S("'A' < NAME"), r));
    EXPECT_TRUE(matches(S("-5 < YEAR"), r));
}

TEST(FilterSyntax, FieldsUsedAreListedOnceInFieldOrder)
{
    const FilterExpression e =
        FilterExpression::parse(S("DATUM IS NULL OR (NAME = 'a' AND NOT DATUM > #2000-01-01#) OR YEAR = 1"), fields());
    EXPECT_EQ(e.fieldsUsed(), (QVector<int>{NAME, YEAR, DATUM}));
}

TEST(FilterTypes, NumbersCompareNumericallyWhateverTheirNotation)
{
    const auto r = row({{YEAR, qint64(1990)}, {PREIS, 12.5}, {MENGE, qint64(9007199254740993)}});
    const char *trueOnes[] = {"YEAR = 1990", "YEAR <> 1991", "YEAR < 1990.5", "YEAR > 1989.99", "YEAR <= 1990",
                              "YEAR >= 1990", "YEAR = '1990'", "YEAR = 1.99e3", "PREIS = 12.5", "PREIS > 12",
                              "PREIS = '12,5'", "PREIS = '12.5'", "PREIS < 100", "PREIS >= .5",
                              "MENGE = 9007199254740993", "MENGE > 9007199254740992", "YEAR > -1"};
    for (const char *e : trueOnes)
        EXPECT_TRUE(matches(QString::fromUtf8(e), r)) << e;
    const char *falseOnes[] = {"YEAR = 199", "YEAR < 1990", "YEAR > 1990", "YEAR <> 1990", "PREIS < 12.5",
                               "PREIS <= 12.49", "MENGE = 9007199254740992"};
    for (const char *e : falseOnes)
        EXPECT_FALSE(matches(QString::fromUtf8(e), r)) << e;
    // numbers a kind hands over as text are read too
    EXPECT_TRUE(matches(S("PREIS = 3.25"), row({{PREIS, S("3,25")}})));
}

TEST(FilterTypes, TextComparesByCharacterIgnoringTrailingBlanks)
{
    const auto r = row({{NAME, S("JETTA          ")}, {NOTIZ, S("lang")}});
    EXPECT_TRUE(matches(S("NAME = 'JETTA'"), r));
    EXPECT_TRUE(matches(S("NAME = 'JETTA   '"), r));
    EXPECT_FALSE(matches(S("NAME = ' JETTA'"), r));
    EXPECT_TRUE(matches(S("NAME <> 'POLO'"), r));
    EXPECT_TRUE(matches(S("NAME > 'JETT'"), r));
    EXPECT_TRUE(matches(S("NAME < 'JETTB'"), r));
    EXPECT_TRUE(matches(S("NAME >= 'JETTA' AND NAME <= 'JETTA'"), r));
    EXPECT_FALSE(matches(S("NAME = 'jetta'"), r));
    EXPECT_TRUE(matches(S("NAME = 'jetta'"), r, foCaseInsensitive));
    EXPECT_TRUE(matches(S("NOTIZ = 'lang'"), r));
    EXPECT_TRUE(matches(S("NAME = 'O''Neil'"), row({{NAME, S("O'Neil")}})));
    // a number against a text field is compared as written
    EXPECT_TRUE(matches(S("NAME = 0815"), row({{NAME, S("0815")}})));
}

TEST(FilterTypes, BooleansAndTimes)
{
    const auto r = row({{AKTIV, true}, {UHR, QTime(14, 30, 0)}});
    EXPECT_TRUE(matches(S("AKTIV = TRUE"), r));
    EXPECT_TRUE(matches(S("AKTIV <> false"), r));
    EXPECT_TRUE(matches(S("AKTIV = 'Ja'"), r));
    EXPECT_FALSE(matches(S("AKTIV = FALSE"), r));
    EXPECT_TRUE(matches(S("AKTIV = FALSE"), row({{AKTIV, false}})));
    EXPECT_TRUE(matches(S("UHR = '14:30'"), r));
    EXPECT_TRUE(matches(S("UHR > '14:29:59' AND UHR < '14:30:01'"), r));
}

TEST(FilterTypes, DatesInBothNotationsAndAgainstDateTimes)
{
    const auto r = row({{DATUM, QDate(1990, 2, 12)}, {ZEIT, QDateTime(QDate(2024, 3, 1), QTime(17, 45))}});
    const char *trueOnes[] = {
        "DATUM = #1990-02-12#", "DATUM = #12.02.1990#", "DATUM = #12.2.1990#", "DATUM = '12.02.1990'",
        "DATUM = '12.02.90'", "DATUM = '1990-02-12'", "DATUM < #1990-02-13#", "DATUM > #11.02.1990#",
        "DATUM <> #1990-02-11#", "#01.01.1980# <= DATUM",
        // without a time of day the day alone counts
        "ZEIT = #2024-03-01#", "ZEIT >= #01.03.2024#", "ZEIT < #2024-03-02#", "ZEIT = '01.03.2024'",
        // with one, the moment
        "ZEIT > #2024-03-01 17:44#", "ZEIT = #01.03.2024 17:45:00#", "ZEIT = '01.03.2024 17:45'",
        "DATUM < #1990-02-12 00:01#"};
    for (const char *e : trueOnes)
        EXPECT_TRUE(matches(QString::fromUtf8(e), r)) << e;
    const char *falseOnes[] = {"DATUM = #1990-02-13#", "DATUM > #1990-02-12#", "ZEIT > #2024-03-01#",
                               "ZEIT < #2024-03-01 17:45#", "ZEIT = #2024-03-01 17:46#"};
    for (const char *e : falseOnes)
        EXPECT_FALSE(matches(QString::fromUtf8(e), r)) << e;
}

TEST(FilterPartial, StarAtTheEndMatchesBeginningsUnlessSwitchedOff)
{
    const auto mueller = row({{NAME, S("MÜLLERSTRASSE")}});
    EXPECT_FALSE(matches(S("NAME = 'Müller*'"), mueller));
    EXPECT_TRUE(matches(S("NAME = 'Müller*'"), mueller, foCaseInsensitive));
    EXPECT_TRUE(matches(S("NAME = 'MÜLLER*'"), mueller));
    EXPECT_FALSE(matches(S("NAME <> 'MÜLLER*'"), mueller));
    // folding is per character: ß is not SS
    EXPECT_FALSE(matches(S("NAME = 'müllerstraße'"), mueller, foCaseInsensitive));
    // foNoPartialCompare: the star is an ordinary character
    EXPECT_FALSE(matches(S("NAME = 'MÜLLER*'"), mueller, foNoPartialCompare));
    EXPECT_FALSE(matches(S("NAME = 'Müller*'"), mueller, foNoPartialCompare | foCaseInsensitive));
    EXPECT_TRUE(matches(S("NAME = 'Müller*'"), row({{NAME, S("MÜLLER*")}}), foNoPartialCompare | foCaseInsensitive));
    EXPECT_TRUE(matches(S("NAME = 'Ä*'"), row({{NAME, S("äpfel")}}), foCaseInsensitive));
    // a star elsewhere, or with another operator, is never partial
    EXPECT_FALSE(matches(S("NAME = 'M*STRASSE'"), mueller));
    EXPECT_FALSE(matches(S("NAME > 'Z*'"), mueller));
    // a lone star matches every text, but not null
    EXPECT_TRUE(matches(S("NAME = '*'"), row({{NAME, S("")}})));
    EXPECT_FALSE(matches(S("NAME = '*'"), row({})));
}

TEST(FilterPartial, CaseInsensitiveOrderingFoldsUmlauts)
{
    const auto r = row({{NAME, S("über")}});
    EXPECT_TRUE(matches(S("NAME = 'ÜBER'"), r, foCaseInsensitive));
    EXPECT_TRUE(matches(S("NAME >= 'ÜBER' AND NAME <= 'ÜBER'"), r, foCaseInsensitive));
    EXPECT_FALSE(matches(S("NAME = 'ÜBER'"), r));
    EXPECT_TRUE(matches(S("NAME LIKE 'Ü%'"), r, foCaseInsensitive));
    EXPECT_FALSE(matches(S("NAME LIKE 'Ü%'"), r));
}

TEST(FilterLike, WildcardsForManyAndForOneCharacter)
{
    const auto r = row({{NAME, S("Schäfer-Müller  ")}, {DATUM, QDate(1997, 5, 3)}, {PREIS, 2.5}});
    const char *trueOnes[] = {"NAME LIKE 'Sch%'", "NAME LIKE 'Sch*'", "NAME LIKE '%Müller'", "NAME LIKE '*ä*-*'",
                              "NAME LIKE 'Sch_fer%'", "NAME LIKE 'Sch?fer-M?ller'", "NAME LIKE '%'",
                              "NAME LIKE '%%r'", "NAME NOT LIKE 'M%'", "NAME LIKE 'Schäfer-Müller   '",
                              // other types by their German text
                              "DATUM LIKE '*.1997'", "PREIS LIKE '2,5'"};
    for (const char *e : trueOnes)
        EXPECT_TRUE(matches(QString::fromUtf8(e), r)) << e;
    const char *falseOnes[] = {"NAME LIKE 'sch%'", "NAME LIKE 'Sch'", "NAME LIKE '%Müll'", "NAME LIKE 'S_h'",
                               "NAME LIKE '_'", "NAME NOT LIKE '%r'", "NAME LIKE 'Schäfer-Müller_'"};
    for (const char *e : falseOnes)
        EXPECT_FALSE(matches(QString::fromUtf8(e), r)) << e;
    EXPECT_TRUE(matches(S("NAME LIKE 'sch%MÜLLER'"), r, foCaseInsensitive));
    // a pattern that needs backtracking
    EXPECT_TRUE(matches(S("NAME LIKE '%a%a%b'"), row({{NAME, S("aaaaaaaaaaaaaaaaab")}})));
    EXPECT_FALSE(matches(S("NAME LIKE '%a%a%a%a%c'"), row({{NAME, QString(5000, QLatin1Char('a'))}})));
}

TEST(FilterNull, NullMatchesOnlyIsNull)
{
    const auto empty = row({});
    const char *falseOnes[] = {"NAME = ''", "NAME <> 'x'", "NAME < 'x'", "NAME LIKE '%'", "NAME NOT LIKE 'x'",
                               "YEAR = 0", "YEAR <> 0", "YEAR > -1", "DATUM < #2100-01-01#", "AKTIV = FALSE",
                               "AKTIV", "NAME IS NOT NULL", "ZEIT >= #1900-01-01#", "UHR > '00:00'",
                               "NAME <> NULL"};
    for (const char *e : falseOnes)
        EXPECT_FALSE(matches(QString::fromUtf8(e), empty)) << e;
    const char *trueOnes[] = {"NAME IS NULL", "YEAR is null", "BILD IS NULL", "DATUM = NULL",
                              "NULL = YEAR", "NOT YEAR = 0", "NOT AKTIV"};
    for (const char *e : trueOnes)
        EXPECT_TRUE(matches(QString::fromUtf8(e), empty)) << e;
    EXPECT_TRUE(matches(S("BILD IS NOT NULL"), row({{BILD, QByteArray("\x89PNG")}})));
    // QVariant holding a null of the right type also counts as null
    EXPECT_TRUE(matches(S("DATUM IS NULL"), row({{DATUM, QVariant(QMetaType(QMetaType::QDate))}})));
}

TEST(FilterErrors, PositionAndWhatWasExpected)
{
    EXPECT_EQ(errorOf(S("(YEAR = 1990")), at(13, "')' erwartet"));
    EXPECT_EQ(errorOf(S("NAME = 'POLO' YEAR = 1")), at(15, "AND oder OR erwartet"));
    EXPECT_EQ(errorOf(S("NAME 'POLO'")), at(6, "Vergleichsoperator erwartet"));
    EXPECT_EQ(errorOf(S("NAME = ")), at(8, "Feldname oder Konstante erwartet"));
    EXPECT_EQ(errorOf(S("NAME = 'POLO")), at(13, "abschließendes ' erwartet"));
    EXPECT_EQ(errorOf(S("DATUM = #1990-02-12")), at(20, "abschließendes # erwartet"));
    EXPECT_EQ(errorOf(S("DATUM = #1990-02-30#")),
              at(9, "Datum erwartet (#jjjj-mm-tt# oder #tt.mm.jjjj#), '1990-02-30' ist keins"));
    EXPECT_EQ(errorOf(S("[Straße Nr = 1")), at(15, "']' erwartet"));
    EXPECT_EQ(errorOf(S("PREIS = 2,5")), at(10, "Dezimalpunkt '.' statt Komma erwartet"));
    EXPECT_EQ(errorOf(S("YEAR = 12ab")), at(10, "Ziffer, Operator oder Leerzeichen erwartet"));
    EXPECT_EQ(errorOf(S("YEAR = 'zwölf'")), at(8, "Zahl erwartet, 'zwölf' ist keine"));
    EXPECT_EQ(errorOf(S("YEAR = #2000-01-01#")), at(8, "Zahl erwartet"));
    EXPECT_EQ(errorOf(S("NAME = TRUE")), at(8, "Zeichenkette erwartet"));
    EXPECT_EQ(errorOf(S("AKTIV = 2")), at(9, "TRUE oder FALSE erwartet"));
    EXPECT_EQ(errorOf(S("DATUM = 5")), at(9, "Datum erwartet"));
    EXPECT_EQ(errorOf(S("NAME = \"POLO\"")), at(8, "Zeichenkette in einfachen Hochkommas (') erwartet"));
    EXPECT_EQ(errorOf(S("NAME = 'a' AND")), at(15, "Bedingung erwartet"));
    EXPECT_EQ(errorOf(S("NAME = 'a' § 1")), at(12, "unerwartetes Zeichen '§'"));
    EXPECT_EQ(errorOf(S("NAME IS 'a'")), at(9, "NULL erwartet"));
    EXPECT_EQ(errorOf(S("NAME NOT 'a'")), at(10, "LIKE erwartet"));
    EXPECT_EQ(errorOf(S("NAME LIKE 5")), at(11, "Zeichenkette erwartet"));
    EXPECT_EQ(errorOf(S("1 = 2")), at(1, "Feldname erwartet"));
    EXPECT_EQ(errorOf(S("NAME = NAME")), at(8, "Konstante erwartet"));
    EXPECT_EQ(errorOf(S("YEAR < NULL")), at(6, "'=' oder '<>' vor NULL erwartet"));
    EXPECT_EQ(errorOf(S("BILD = 'x'")), at(1, "Feld 'BILD' kann nur mit IS NULL geprüft werden"));
    EXPECT_EQ(errorOf(S("()")), at(2, "Bedingung erwartet"));
    EXPECT_EQ(errorOf(S("YEAR = - 'a'")), at(10, "Zahl erwartet"));
}

TEST(FilterErrors, UnknownFieldIsNamedWithItsPosition)
{
    EXPECT_EQ(errorOf(S("YEAR = 1 AND Farbe = 'rot'")), at(14, "Feld 'Farbe' nicht gefunden"));
    EXPECT_EQ(errorOf(S("[Strasse Nr] = 'x'")), at(1, "Feld 'Strasse Nr' nicht gefunden"));
}

TEST(FilterErrors, DeepNestingIsRefusedNotACrash)
{
    EXPECT_EQ(errorOf(QString(100000, QLatin1Char('('))),
              at(201, "Ausdruck zu tief verschachtelt (höchstens 200 Ebenen)"));
    QString nots;
    for (int i = 0; i < 1000; ++i)
        nots += S("NOT ");
    EXPECT_FALSE(errorOf(nots + S("AKTIV")).isEmpty());
    // long flat chains are fine
    QString chain = S("YEAR = 0");
    for (int i = 1; i < 50000; ++i)
        chain += S(" OR YEAR = %1").arg(i);
    EXPECT_TRUE(matches(chain, row({{YEAR, qint64(49999)}})));
}

TEST(FilterErrors, RandomTextNeverCrashes)
{
    // Short random texts over the language's own characters, so that many get
    // deep into the parser; each either reads or fails with a positioned message.
    const QString alphabet = S("()=<>!'#[]*%_?-+., 0123456789eNAMEYARDTUIVKSLORHß AND OR NOT LIKE IS NULL TRUE");
    const QStringList words = {S("NAME"), S("YEAR"), S("DATUM"), S("AKTIV"), S("AND"), S("OR"), S("NOT"),
                               S("LIKE"), S("IS"), S("NULL"), S("'Mü*'"), S("#2000-01-01#"), S("1.5"),
                               S("("), S(")"), S("="), S("<>"), S("<="), S("TRUE"), S("[Straße Nr]")};
    QRandomGenerator random(20240301);
    const auto r = row({{NAME, S("MÜLLER")}, {YEAR, qint64(3)}, {DATUM, QDate(2000, 1, 1)}, {AKTIV, true}});
    int parsed = 0;
    for (int round = 0; round < 20000; ++round) {
        QString text;
        const int length = int(random.bounded(12));
        for (int i = 0; i < length; ++i) {
            if (round % 2)
                text += words[int(random.bounded(words.size()))] + QLatin1Char(' ');
            else
                text += alphabet[int(random.bounded(alphabet.size()))];
        }
        try {
            const FilterExpression e = FilterExpression::parse(text, fields());
            e.matches([&](int f) { return r.value(f); }, int(random.bounded(4)));
            ++parsed;
        } catch (const EngineError &e) {
            ASSERT_TRUE(e.message().startsWith(S("Fehler im Filterausdruck an Position "))) << text.toStdString();
        }
    }
    EXPECT_GT(parsed, 100);
}
