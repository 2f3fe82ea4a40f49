#include "PxChecks.h"

#include "EngineError.h"
#include "common/FileIo.h"

#include <cstring>

namespace engine::paradox {

namespace {

constexpr int ChecksStart = 0x35;
constexpr int CheckHeadSize = 28;
constexpr int LookupSize = 80;
constexpr int FooterOffset = 0x09;
constexpr int FooterNameSize = 0x4F;

// The footer of version 9 and later repeats the table's fields; a .VAL left
// from before a restructure would apply its checks to the wrong fields.
void checkFooter(const QByteArray &data, qint64 at, const PxHeader &h, const QString &path)
{
    const auto fault = [&](const QString &what) { return io::damagedFile(path, what); };
    if (at + 6 > data.size())
        throw fault(QStringLiteral("das Verzeichnis der Felder liegt hinter dem Dateiende"));
    const int count = io::le16(data.constData() + at);
    if (count != int(h.fields.size()))
        throw fault(QStringLiteral("die Datei beschreibt %1 Felder, die Tabelle hat %2").arg(count).arg(h.fields.size()));
    const qint64 types = at + 6 + qint64(count) * 2;
    if (types + qint64(count) * 2 > data.size())
        throw fault(QStringLiteral("das Verzeichnis der Felder endet vorzeitig"));
    for (int i = 0; i < count; ++i) {
        const quint8 type = quint8(data[types + i * 2]);
        const int size = quint8(data[types + i * 2 + 1]);
        const PxField &f = h.fields[size_t(i)];
        if (type != f.type || size != (f.size & 0xFF))
            throw fault(QStringLiteral("das Feld %1 hat dort eine andere Art oder Länge als in der Tabelle").arg(f.name));
    }
}

} // namespace

const PxFieldCheck *PxChecks::forField(int field) const
{
    for (const PxFieldCheck &c : checks) {
        if (c.field == field)
            return &c;
    }
    return nullptr;
}

PxChecks parseChecks(const QByteArray &data, const PxHeader &h, const QString &path)
{
    const auto fault = [&](const QString &what) { return io::damagedFile(path, what); };
    if (data.size() < ChecksStart)
        throw fault(QStringLiteral("die Datei ist zu kurz"));
    const int version = quint8(data[1]);
    if (version != 1 && (version < 9 || version > 11))
        throw fault(QStringLiteral("die Version %1 der Gültigkeitsprüfungen ist unbekannt").arg(version));
    const int count = quint8(data[2]);
    qint64 limit = data.size();
    if (version >= 9) {
        limit = io::le32(data.constData() + FooterOffset);
        if (limit < ChecksStart || limit > data.size())
            throw fault(QStringLiteral("der Verweis auf das Verzeichnis der Felder zeigt aus der Datei"));
        checkFooter(data, limit, h, path);
    }
    PxChecks out;
    qint64 at = ChecksStart;
    int previous = -1;
    for (int i = 0; i < count; ++i) {
        if (at + CheckHeadSize > limit)
            throw fault(QStringLiteral("die Prüfung %1 endet hinter ihrem Bereich").arg(i + 1));
        const char *head = data.constData() + at;
        PxFieldCheck c;
        c.field = quint8(head[0]);
        if (c.field >= int(h.fields.size()) || c.field <= previous)
            throw fault(QStringLiteral("die Prüfung %1 gilt dem Feld Nummer %2, das die Tabelle nicht hat")
                            .arg(i + 1)
                            .arg(c.field + 1));
        previous = c.field;
        const int pictureSize = quint8(head[1]);
        c.required = head[2] != 0;
        if (io::le32(head + 8) != 0)
            throw fault(QStringLiteral("die Prüfung des Feldes %1 enthält einen unbekannten Teil").arg(h.fields[size_t(c.field)].name));
        at += CheckHeadSize;
        const PxField &f = h.fields[size_t(c.field)];
        const auto take = [&](int size) {
            if (at + size > limit)
                throw fault(QStringLiteral("die Prüfung des Feldes %1 endet hinter ihrem Bereich").arg(f.name));
            QByteArray part = data.mid(at, size);
            at += size;
            return part;
        };
        if (io::le32(head + 4) != 0)
            c.lookupTable = take(LookupSize);
        if (io::le32(head + 12) != 0)
            c.minimum = take(f.size);
        if (io::le32(head + 16) != 0)
            c.maximum = take(f.size);
        if (io::le32(head + 20) != 0)
            c.defaultValue = take(f.size);
        if (pictureSize > 0) {
            c.picture = take(pictureSize);
            if (c.picture.back() != '\0')
                throw fault(QStringLiteral("das Eingabemuster des Feldes %1 ist nicht abgeschlossen").arg(f.name));
            c.picture.chop(1);
        }
        out.checks.push_back(std::move(c));
    }
    if (version >= 9 && at > limit)
        throw fault(QStringLiteral("die Prüfungen reichen in das Verzeichnis der Felder"));
    return out;
}

PxViolation firstViolation(const PxChecks &checks, const PxHeader &h, const char *rec)
{
    for (const PxFieldCheck &c : checks.checks) {
        const PxField &f = h.fields[size_t(c.field)];
        const char *p = rec + f.offset;
        if (isAllZero(p, f.size)) {
            if (c.required)
                return {PxRule::Required, c.field, {}};
            continue;
        }
        if (f.isBlob())
            continue;
        if (!c.minimum.isEmpty() && memcmp(p, c.minimum.constData(), size_t(f.size)) < 0)
            return {PxRule::Minimum, c.field, c.minimum};
        if (!c.maximum.isEmpty() && memcmp(p, c.maximum.constData(), size_t(f.size)) > 0)
            return {PxRule::Maximum, c.field, c.maximum};
    }
    return {};
}

void applyDefaults(const PxChecks &checks, const PxHeader &h, char *rec)
{
    for (const PxFieldCheck &c : checks.checks) {
        const PxField &f = h.fields[size_t(c.field)];
        if (c.defaultValue.isEmpty() || f.isBlob() || !isAllZero(rec + f.offset, f.size))
            continue;
        memcpy(rec + f.offset, c.defaultValue.constData(), size_t(f.size));
    }
}

} // namespace engine::paradox
