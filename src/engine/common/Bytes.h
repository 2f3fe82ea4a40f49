#pragma once
// Little- and big-endian field access for the binary table formats.
#include <QtGlobal>

namespace engine::io {

inline quint16 le16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16(u[0] | (u[1] << 8));
}

inline quint32 le32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint32(u[0]) | (quint32(u[1]) << 8) | (quint32(u[2]) << 16) | (quint32(u[3]) << 24);
}

inline qint64 le64(const char *p)
{
    return qint64(quint64(le32(p)) | (quint64(le32(p + 4)) << 32));
}

inline quint16 be16(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return quint16((u[0] << 8) | u[1]);
}

inline quint32 be32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

inline void putLe16(char *p, quint16 v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}

inline void putLe32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

inline void putLe64(char *p, quint64 v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

inline void putBe16(char *p, quint16 v)
{
    p[0] = char(v >> 8);
    p[1] = char(v & 0xFF);
}

inline void putBe32(char *p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * (3 - i))) & 0xFF);
}

} // namespace engine::io
