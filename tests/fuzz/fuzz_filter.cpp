// libFuzzer entry for the filter reader: any bytes, read as UTF-8, must either
// give an expression that evaluates or fail with an EngineError. Built by hand
// with clang under -DBRISVEL_FUZZ=ON (scripts/fuzz.sh), or by hand:
//   S=src/engine; clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fPIC -I$S \
//     $(pkg-config --cflags Qt6Core) tests/fuzz/fuzz_filter.cpp $S/FilterExpression.cpp \
//     $S/ValueText.cpp $S/FieldTypes.cpp $(pkg-config --libs Qt6Core) -o /tmp/fuzz_filter
//   /tmp/fuzz_filter -max_total_time=120 -max_len=200
#include "EngineError.h"
#include "FilterExpression.h"
#include <QDate>

using namespace engine;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QVector<FieldDef> fields = [] {
        QVector<FieldDef> f(5);
        const char *names[] = {"NAME", "YEAR", "DATUM", "AKTIV", "Straße Nr"};
        const TFieldType types[] = {ftString, ftInteger, ftDate, ftBoolean, ftString};
        for (int i = 0; i < 5; ++i) { f[i].name = QString::fromUtf8(names[i]); f[i].dataType = types[i]; }
        return f;
    }();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const FilterExpression e = FilterExpression::parse(text, fields);
        const QVariant values[] = {QStringLiteral("Müller"), qint64(3), QDate(2000, 1, 1), true, QVariant()};
        e.matches([&](int f) { return values[f]; }, int(size & 3));
    } catch (const EngineError &) {
    }
    return 0;
}
