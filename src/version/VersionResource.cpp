#include "VersionResource.h"

#include "VersionText.h"

#include <QStringList>
#include <QtEndian>

namespace version {

extern const unsigned BuildNumber; // BuildNumber.cpp, written at build time

namespace {

void putWord(QByteArray &bytes, int offset, quint32 value)
{
    qToLittleEndian<quint32>(value, bytes.data() + offset);
}

} // namespace

QByteArray fixedPart(quint16 major, quint16 minor, quint16 release, quint16 build, quint32 fileFlags)
{
    QByteArray bytes(FixedPartSize, '\0');
    putWord(bytes, 0, 0xFEEF04BD);                  // signature
    putWord(bytes, 4, 0x00010000);                  // structure version 1.0
    putWord(bytes, 8, quint32(major) << 16 | minor); // file version
    putWord(bytes, 12, quint32(release) << 16 | build);
    putWord(bytes, 16, quint32(major) << 16 | minor); // product version
    putWord(bytes, 20, quint32(release) << 16 | build);
    putWord(bytes, 24, 0x3F);                       // file-flags mask: the six flags
    putWord(bytes, FixedFileFlagsOffset, fileFlags);
    putWord(bytes, 36, 0x1);                        // file type: application
    return bytes;
}

DataVersionResource::DataVersionResource(VersionResourceData data) : m_data(std::move(data)) {}

quint32 DataVersionResource::size() const
{
    quint32 total = quint32(m_data.fixed.size()) + 4 * quint32(m_data.translations.size());
    for (const auto &table : m_data.tables) {
        total += quint32(table.block.toUtf8().size());
        for (const auto &entry : table.entries)
            total += quint32(entry.key.toUtf8().size() + entry.value.toUtf8().size() + 2);
    }
    return total;
}

bool DataVersionResource::load()
{
    return size() > 0;
}

std::optional<QByteArray> DataVersionResource::query(const QString &path) const
{
    if (path == QLatin1String("\\")) {
        if (m_data.fixed.isEmpty())
            return std::nullopt;
        return m_data.fixed;
    }
    const QStringList parts = path.split(QLatin1Char('\\'));
    // A path starts with the backslash, so its first part is empty.
    if (parts.size() < 2 || !parts.first().isEmpty())
        return std::nullopt;
    const auto is = [](const QString &a, const char *b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; };
    if (parts.size() == 3 && is(parts.at(1), "VarFileInfo") && is(parts.at(2), "Translation")) {
        if (m_data.translations.isEmpty())
            return std::nullopt;
        QByteArray bytes;
        for (const auto &t : m_data.translations) {
            char word[4];
            qToLittleEndian<quint16>(t.language, word);
            qToLittleEndian<quint16>(t.codePage, word + 2);
            bytes.append(word, 4);
        }
        return bytes;
    }
    if (parts.size() == 4 && is(parts.at(1), "StringFileInfo")) {
        for (const auto &table : m_data.tables) {
            if (table.block.compare(parts.at(2), Qt::CaseInsensitive) != 0)
                continue;
            for (const auto &entry : table.entries) {
                if (entry.key.compare(parts.at(3), Qt::CaseInsensitive) == 0)
                    return entry.value.toUtf8() + QByteArray(1, '\0');
            }
        }
    }
    return std::nullopt;
}

BuildVersion buildVersion()
{
    BuildVersion v;
    v.major = BRISVEL_VERSION_MAJOR;
    v.minor = BRISVEL_VERSION_MINOR;
    v.patch = BRISVEL_VERSION_PATCH;
    v.build = BuildNumber;
#ifdef BRISVEL_DEBUG_BUILD
    v.debug = true;
#endif
    return v;
}

VersionResourceData programVersionData()
{
    const BuildVersion v = buildVersion();
    const QString release = QStringLiteral("%1.%2.%3").arg(v.major).arg(v.minor).arg(v.patch);
    const QString file = release + QLatin1Char('.') + QString::number(v.build);
    VersionResourceData data;
    // The fixed part holds 16-bit numbers; the text holds the whole build number.
    data.fixed = fixedPart(quint16(v.major), quint16(v.minor), quint16(v.patch), quint16(qMin(v.build, 0xFFFFu)),
                           v.debug ? VS_FF_DEBUG : 0);
    data.translations = {{0x0407, 0x04E4}};
    data.tables = {{QStringLiteral("040704E4"),
                    {
                        {QStringLiteral("CompanyName"), QStringLiteral("Halvorin")},
                        {QStringLiteral("FileDescription"), QStringLiteral("Database Table Viewer")},
                        {QStringLiteral("FileVersion"), file},
                        {QStringLiteral("InternalName"), QStringLiteral("brisvel")},
                        {QStringLiteral("LegalCopyright"), QStringLiteral("Copyright © 2005-2026 Halvorin")},
                        {QStringLiteral("OriginalFilename"), QStringLiteral("brisvel")},
                        {QStringLiteral("ProductName"), QStringLiteral("brisvel ostrel")},
                        {QStringLiteral("ProductVersion"), release},
                        {QStringLiteral("Comments"),
                         QStringLiteral("Betrachter und Editor für dateibasierte Datenbanktabellen")},
                    }}};
    return data;
}

std::shared_ptr<VersionResourceReader> programVersionResource()
{
    return std::make_shared<DataVersionResource>(programVersionData());
}

QString versionLine()
{
    auto reader = programVersionResource();
    QString langCharset = QStringLiteral("-1");
    return QStringLiteral("brisvel ostrel ") +
           versionInfoText(*reader, vrFileVersion, QStringLiteral("FileVersion"), fvAll, langCharset);
}

} // namespace version
