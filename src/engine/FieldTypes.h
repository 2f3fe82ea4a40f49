#pragma once
// The engine's data types. The ordinals are fixed: dialogs, printouts and the
// command-line tool index their German names by them.
#include <QString>

namespace engine {

enum TFieldType {
    ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency,
    ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo,
    ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar,
    ftWideString, ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob,
    ftVariant, ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};

constexpr int FieldTypeCount = ftFMTBcd + 1;

// German name of a type as the structure listing shows it ("Zeichen", "Datum", ...).
QString fieldTypeName(TFieldType type);

// Types whose values are large or binary and are fetched on demand (memo, blob, picture).
bool isBlobType(TFieldType type);
bool isTextBlobType(TFieldType type);
bool isNumericType(TFieldType type);

} // namespace engine
