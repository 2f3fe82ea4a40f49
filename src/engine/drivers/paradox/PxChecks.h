#pragma once
// Validity checks of a Paradox table, kept in its .VAL file: per field
// "required", a minimum, a maximum, a default, a picture and a table lookup.
// Required, minimum, maximum and default are enforced on changes; picture and
// lookup are read and left as they are (a picture only guides typing).
//
// Layout (the same in Paradox 3 files, version byte 1, and in later ones,
// 9 to 11): byte 1 version, byte 2 number of checks, from version 9 on the
// offset of a footer at 0x09 (field count, orders, type/size pairs, table
// name, field names). The checks start at 0x35, one per field in field order:
// a 28-byte head (0 field number from 0, 1 length of the picture with its
// terminating zero, 2 "required", 3 lookup options, then six 4-byte words that
// are non-zero where a part is present: 4 lookup, 8 unknown, 12 minimum,
// 16 maximum, 20 default, 24 picture) followed by the present parts in that
// order: the lookup's table name (80 bytes), minimum, maximum and default in
// the field's stored form (its size in the record), the picture.
#include "PxFormat.h"

#include <vector>

namespace engine::paradox {

struct PxFieldCheck {
    int field = -1;
    bool required = false;
    QByteArray minimum; // stored bytes of the field, empty when there is none
    QByteArray maximum;
    QByteArray defaultValue;
    QByteArray picture;     // kept, not enforced
    QByteArray lookupTable; // kept, not enforced
};

struct PxChecks {
    std::vector<PxFieldCheck> checks;
    bool empty() const { return checks.empty(); }
    const PxFieldCheck *forField(int field) const;
};

// Reads the .VAL bytes for a table of header h. Throws EngineError naming the
// file (path) when the layout does not add up or does not fit the table.
PxChecks parseChecks(const QByteArray &data, const PxHeader &h, const QString &path);

enum class PxRule { None, Required, Minimum, Maximum };

struct PxViolation {
    PxRule rule = PxRule::None;
    int field = -1;
    QByteArray bound; // the minimum or maximum broken
};

// The first check a record breaks. Stored bytes sort like the values (as keys
// do), so bounds compare as bytes; NULL meets minimum and maximum.
PxViolation firstViolation(const PxChecks &checks, const PxHeader &h, const char *rec);

// Puts the defaults into the NULL fields of a new record (not into blobs).
void applyDefaults(const PxChecks &checks, const PxHeader &h, char *rec);

} // namespace engine::paradox
