// Keeping index files in step with one changed record, in place: the keys the
// change moves are computed first (so a key that cannot be computed stops the
// change before anything is written), then each tag's tree is changed page by
// page from the file as it is now, under the table's lock.
#include "DbfIndexTree.h"
#include "DbfIndexWrite.h"

#include "common/FileIo.h"
#include "EngineError.h"

#include <QFile>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace engine::dbase {

using namespace engine::io;

namespace {

double leDouble(const char *p)
{
    const quint64 bits = le64(p);
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

// The value of a dBASE IV BCD number key (see mdxNumber()).
double mdxNumberValue(const char *p)
{
    const int exponent = int(quint8(p[0])) - 0x34;
    const int digits = std::min(20, (quint8(p[1]) & 0x7F) >> 2);
    double v = 0;
    for (int i = 0; i < digits; ++i) {
        const quint8 byte = quint8(p[2 + i / 2]);
        v = v * 10 + ((i % 2) ? (byte & 0x0F) : (byte >> 4));
    }
    v *= std::pow(10.0, exponent - digits);
    return (quint8(p[1]) & 0x80) ? -v : v;
}

int compareDoubles(double a, double b)
{
    return a < b ? -1 : a > b ? 1 : 0;
}

} // namespace

int KeptTag::compareStored(const char *a, const char *b) const
{
    int prefix = 0;
    if (nullPrefix) {
        if (a[0] != b[0])
            return quint8(a[0]) < quint8(b[0]) ? -1 : 1;
        prefix = 1;
    }
    switch (encoding) {
    case KeyEncoding::NdxNumber:
    case KeyEncoding::MdxDate:
        return compareDoubles(leDouble(a + prefix), leDouble(b + prefix));
    case KeyEncoding::MdxNumber:
        return compareDoubles(mdxNumberValue(a + prefix), mdxNumberValue(b + prefix));
    default: {
        const int c = memcmp(a + prefix, b + prefix, size_t(info.keyLength - prefix));
        return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    }
}

std::vector<IndexKeeper::KeyMove> IndexKeeper::plan(quint32 record, const char *oldRec, const char *newRec) const
{
    std::vector<KeyMove> out;
    for (size_t f = 0; f < m_files.size(); ++f) {
        for (size_t t = 0; t < m_files[f]->tags.size(); ++t) {
            const KeptTag &tag = *m_files[f]->tags[t];
            bool had = false, has = false;
            const QByteArray before = oldRec ? keyOf(tag, oldRec, record, &had) : QByteArray();
            const QByteArray after = keyOf(tag, newRec, record, &has);
            if (had == has && before == after)
                continue;
            KeyMove move;
            move.file = f;
            move.tag = t;
            if (had)
                move.before = tag.storedForm(before.constData());
            if (has)
                move.after = tag.storedForm(after.constData());
            out.push_back(std::move(move));
        }
    }
    return out;
}

std::vector<std::unique_ptr<PageFile>> IndexKeeper::apply(quint32 record, const std::vector<KeyMove> &moves, qint64 count,
                                                          const RecordSource &records) const
{
    std::vector<std::unique_ptr<PageFile>> out;
    size_t at = 0;
    while (at < moves.size()) {
        const KeptFile &kept = *m_files[moves[at].file];
        auto store = std::make_unique<PageFile>(kept.path);
        // The headers as they are now: another program may have moved a root.
        const auto file = IndexFile::open(kept.path);
        for (; at < moves.size() && m_files[moves[at].file].get() == &kept; ++at) {
            const KeyMove &move = moves[at];
            const KeptTag &tag = *kept.tags[move.tag];
            if (int(move.tag) >= file->tags().size())
                throw damagedFile(kept.path, QStringLiteral("der Tag %1 fehlt").arg(tag.info.name));
            const auto pages = IndexPages::forTag(*store, *file, int(move.tag), tag.encoding == KeyEncoding::Text);
            IndexTree tree(*pages, tag.info.keyLength, [&tag](const char *a, const char *b) { return tag.compareStored(a, b); },
                           tag.info.descending);
            if (!move.before.isEmpty()) {
                if (tag.info.unique) {
                    // A unique tag holds the first record of each key; when that one
                    // leaves, the next record with the key takes its place.
                    if (tree.firstWithKey(move.before) == record) {
                        tree.remove(move.before, record);
                        for (qint64 r = 0; r < count; ++r) {
                            if (quint32(r + 1) == record)
                                continue;
                            const char *rec = records(r);
                            if (!rec)
                                break;
                            bool present = false;
                            const QByteArray key = keyOf(tag, rec, quint32(r + 1), &present);
                            if (present && tag.storedForm(key.constData()) == move.before) {
                                tree.insert(move.before, quint32(r + 1));
                                break;
                            }
                        }
                    }
                } else if (!tree.remove(move.before, record)) {
                    // Stored under a key computed differently before: found by walking.
                    tree.removeRecordAnywhere(record);
                }
            }
            if (!move.after.isEmpty()) {
                if (tag.info.unique) {
                    const std::optional<quint32> holder = tree.firstWithKey(move.after);
                    if (holder && *holder < record)
                        continue;
                    if (holder)
                        tree.remove(move.after, *holder);
                }
                tree.insert(move.after, record);
            }
        }
        out.push_back(std::move(store));
    }
    return out;
}

} // namespace engine::dbase
