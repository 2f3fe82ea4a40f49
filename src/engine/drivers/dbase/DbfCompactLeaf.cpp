#include "DbfCompactLeaf.h"

#include "common/Bytes.h"

#include <algorithm>
#include <cstring>

namespace engine::dbase {

using namespace engine::io;

namespace {
constexpr int Node = 512;
constexpr int Head = 24;
} // namespace

int bitsFor(quint64 v)
{
    int b = 0;
    while (b < 64 && (quint64(1) << b) <= v)
        ++b;
    return std::max(b, 1);
}

CompactLeafCoder::CompactLeafCoder(int keyLength, bool textKeys, quint32 maxRecord)
    : m_keyLength(keyLength), m_countBits(bitsFor(quint64(keyLength))), m_text(textKeys)
{
    m_infoBytes = std::max(3, (bitsFor(std::max<quint32>(maxRecord, 1)) + 2 * m_countBits + 7) / 8);
    m_recordBits = std::min(32, m_infoBytes * 8 - 2 * m_countBits);
    m_recordMask = m_recordBits == 32 ? 0xFFFFFFFFu : ((quint32(1) << m_recordBits) - 1);
}

void CompactLeafCoder::start(char *node)
{
    m_node = node;
    m_used = m_count = m_previousTrail = 0;
    m_keyEnd = Node;
    m_previous = nullptr;
}

bool CompactLeafCoder::add(const char *key, quint32 record)
{
    int trail = 0;
    if (m_text) {
        while (trail < m_keyLength && key[m_keyLength - 1 - trail] == ' ')
            ++trail;
    }
    // Shared bytes count only within the previous key's stored part: readers
    // differ in what they put for its cut trailing blanks.
    int dup = 0;
    if (m_previous) {
        while (dup < m_keyLength - trail && dup < m_keyLength - m_previousTrail && key[dup] == m_previous[dup])
            ++dup;
    }
    const int stored = m_keyLength - dup - trail;
    if (m_used + m_infoBytes + stored > Node - Head)
        return false;
    if (m_node) {
        const quint64 info = quint64(record & m_recordMask) | (quint64(dup) << m_recordBits)
                           | (quint64(trail) << (m_recordBits + m_countBits));
        for (int b = 0; b < m_infoBytes; ++b)
            m_node[Head + m_count * m_infoBytes + b] = char((info >> (8 * b)) & 0xFF);
        m_keyEnd -= stored;
        memcpy(m_node + m_keyEnd, key + dup, size_t(stored));
    }
    m_used += m_infoBytes + stored;
    ++m_count;
    m_previous = key;
    m_previousTrail = trail;
    return true;
}

int CompactLeafCoder::finish()
{
    const int free = Node - Head - m_used;
    if (m_node) {
        const char countMask = char((1u << m_countBits) - 1);
        putLe16(m_node + 12, quint16(free));
        putLe32(m_node + 14, m_recordMask);
        m_node[18] = countMask;
        m_node[19] = countMask;
        m_node[20] = char(m_recordBits);
        m_node[21] = char(m_countBits);
        m_node[22] = char(m_countBits);
        m_node[23] = char(m_infoBytes);
    }
    return free;
}

} // namespace engine::dbase
