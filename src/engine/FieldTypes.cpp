#include "FieldTypes.h"

#include <array>

namespace engine {

QString fieldTypeName(TFieldType type)
{
    static const std::array<const char *, FieldTypeCount> names = {
        "Unbekannt", "Zeichen", "16-Bit-Integer", "32-Bit-Integer", "Word", "Logisch",
        "Gleitkomma", "Währung", "Binärcod.Dezimalfeld", "Datum", "Zeit", "Datum Zeit",
        "Byte", "VarByte", "AutoInc-Zähler", "Blob", "Memo", "Bitmap", "Formated Memo",
        "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor", "Fixes Zeichenfeld", "WideString",
        "64-Bit Integer", "Abstrakte Datentypen", "Array", "REF-Feld", "Datenmenge",
        "BLOB Oracle 8", "CLOB Oracle 8", "Variant", "Interface", "IDispatch", "GUID",
        "Zeitstempel", "binärcod.Dezimalwert"};
    if (type < 0 || type >= FieldTypeCount)
        return QString::fromUtf8(names[0]);
    return QString::fromUtf8(names[type]);
}

bool isBlobType(TFieldType type)
{
    switch (type) {
    case ftBlob: case ftMemo: case ftGraphic: case ftFmtMemo: case ftParadoxOle:
    case ftDBaseOle: case ftTypedBinary: case ftOraBlob: case ftOraClob:
        return true;
    default:
        return false;
    }
}

bool isTextBlobType(TFieldType type)
{
    return type == ftMemo || type == ftFmtMemo || type == ftOraClob;
}

bool isNumericType(TFieldType type)
{
    switch (type) {
    case ftSmallint: case ftInteger: case ftWord: case ftFloat: case ftCurrency: case ftBCD:
    case ftAutoInc: case ftLargeint: case ftFMTBcd:
        return true;
    default:
        return false;
    }
}

} // namespace engine
