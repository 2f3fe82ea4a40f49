#pragma once
// FoxPro compact leaves, as the whole-file writer and the changes in place both
// write them: each key without the bytes it shares with the key before and,
// for text keys, without its trailing blanks, stored from the node's end down;
// from offset 24 up one key information per key (record number, shared count,
// blank count, as many bytes as the leaf says).
#include <QtGlobal>

namespace engine::dbase {

class CompactLeafCoder {
public:
    // maxRecord: the highest record number the leaf (or the tag) holds.
    CompactLeafCoder(int keyLength, bool textKeys, quint32 maxRecord);
    // False when such record numbers do not fit eight bytes of key information.
    bool usable() const { return m_infoBytes <= 8; }

    // Starts a leaf in node (512 zeroed bytes), or only counts the bytes when nullptr.
    void start(char *node);
    // Adds a key of keyLength bytes; false (and nothing added) when the leaf is full.
    bool add(const char *key, quint32 record);
    int count() const { return m_count; }
    // Writes the leaf's free space and layout fields; returns the free bytes.
    int finish();

private:
    int m_keyLength, m_countBits, m_infoBytes, m_recordBits;
    bool m_text;
    quint32 m_recordMask;
    char *m_node = nullptr;
    int m_used = 0, m_count = 0, m_previousTrail = 0;
    qint64 m_keyEnd = 0;
    const char *m_previous = nullptr;
};

// The number of bits that hold v (at least 1).
int bitsFor(quint64 v);

} // namespace engine::dbase
