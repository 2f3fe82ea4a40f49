#include "VersionText.h"

#include "VersionResource.h"

#include <QStringList>
#include <QtEndian>

namespace version {

VersionEntry versionEntry(TVersionResources resource)
{
    switch (resource) {
    case vrCompanyName: return {QStringLiteral("CompanyName"), QStringLiteral("Firmenname:")};
    case vrFileDescription: return {QStringLiteral("FileDescription"), QStringLiteral("Datei Information:")};
    case vrFileVersion: return {QStringLiteral("FileVersion"), QStringLiteral("Dateiversion:")};
    case vrInternalName: return {QStringLiteral("InternalName"), QStringLiteral("Interner Name:")};
    case vrLegalCopyright: return {QStringLiteral("LegalCopyright"), QStringLiteral("Legal Copyright:")};
    case vrOriginalFilename: return {QStringLiteral("OriginalFilename"), QStringLiteral("Original Dateiname:")};
    case vrProductName: return {QStringLiteral("ProductName"), QStringLiteral("Produktname:")};
    case vrProductVersion: return {QStringLiteral("ProductVersion"), QStringLiteral("Produktversion:")};
    case vrComments: return {QStringLiteral("Comments"), QStringLiteral("Bemerkungen:")};
    case vrFlags: return {QStringLiteral("Flags"), QStringLiteral("Flags:")};
    }
    return {};
}

QString fileFlagsText(quint32 flags)
{
    static const struct {
        quint32 bit;
        const char *text;
    } names[] = {
        {VS_FF_DEBUG, ", Debug Build"},       {VS_FF_PRERELEASE, ", Pre-Release Build"},
        {VS_FF_PATCHED, ", Patched Build"},   {VS_FF_PRIVATEBUILD, ", Privates Build"},
        {VS_FF_INFOINFERRED, ", InfoInferred"}, {VS_FF_SPECIALBUILD, ", Spezielles Built"},
    };
    QString text;
    for (const auto &n : names) {
        if (flags & n.bit)
            text += QLatin1String(n.text);
    }
    if (text.startsWith(QLatin1Char(',')))
        text.remove(0, 2);
    return text;
}

QString fileVersionPart(const QString &value, TFileVersionPart part)
{
    const QStringList parts = value.split(QLatin1Char('.'));
    const auto nth = [&](int n) { return n <= parts.size() ? parts.at(n - 1) : QString(); };
    switch (part) {
    case fvAll: return value;
    case fvAllNoBuild: return nth(1) + QLatin1Char('.') + nth(2) + QLatin1Char('.') + nth(3);
    case fvMajor: return nth(1);
    case fvMinor: return nth(2);
    case fvRelease: return nth(3);
    case fvBuild: return nth(4);
    }
    return value;
}

QString versionInfoText(VersionResourceReader &reader, TVersionResources resource, const QString &key,
                        TFileVersionPart part, QString &langCharset)
{
    if (reader.size() == 0)
        return NoDataText;
    if (!reader.load())
        return ErrorText;

    if (resource == vrFlags) {
        const std::optional<QByteArray> fixed = reader.query(QStringLiteral("\\"));
        if (!fixed)
            return ErrorText;
        if (fixed->size() < 2)
            return QString();
        // A fixed part cut short before its flags word is damaged; reading on
        // would run past its end.
        if (fixed->size() < FixedFileFlagsOffset + 4)
            return ErrorText;
        return fileFlagsText(qFromLittleEndian<quint32>(fixed->constData() + FixedFileFlagsOffset));
    }

    if (langCharset == QLatin1String("-1")) {
        const std::optional<QByteArray> translation = reader.query(QStringLiteral("\\VarFileInfo\\Translation"));
        if (!translation || translation->size() < 4)
            return NoTranslationText;
        const quint16 language = qFromLittleEndian<quint16>(translation->constData());
        const quint16 codePage = qFromLittleEndian<quint16>(translation->constData() + 2);
        langCharset = QStringLiteral("%1%2")
                          .arg(language, 4, 16, QLatin1Char('0'))
                          .arg(codePage, 4, 16, QLatin1Char('0'))
                          .toUpper();
    }
    const std::optional<QByteArray> value =
        reader.query(QStringLiteral("\\StringFileInfo\\") + langCharset + QLatin1Char('\\') + key);
    if (!value)
        return ErrorText;
    QString text;
    if (value->size() > 1) {
        const qsizetype end = value->indexOf('\0');
        text = QString::fromUtf8(end < 0 ? *value : value->left(end));
    }
    if (key == QLatin1String("FileVersion"))
        text = fileVersionPart(text, part);
    return text;
}

QString versionCaption(const QString &prefix, bool showPrefix, const QString &text)
{
    return showPrefix ? prefix + QLatin1Char(' ') + text : text;
}

} // namespace version
