#pragma once
// What the version label shows: the entry table (key and German prefix), the
// flag texts, the cutting of a "FileVersion" value and the failure texts.
// Plain functions over a VersionResourceReader, so tests hand them any resource.
#include <QString>

namespace version {

class VersionResourceReader;

enum TFileVersionPart { fvAll, fvAllNoBuild, fvMajor, fvMinor, fvRelease, fvBuild };

enum TVersionResources {
    vrCompanyName,
    vrFileDescription,
    vrFileVersion,
    vrInternalName,
    vrLegalCopyright,
    vrOriginalFilename,
    vrProductName,
    vrProductVersion,
    vrComments,
    vrFlags
};

inline const QString NoDataText = QStringLiteral("< Keine Daten Verfügbar >");
inline const QString ErrorText = QStringLiteral("< Fehler >");
inline const QString NoTranslationText = QStringLiteral("< Error retrieving translation info >");

struct VersionEntry {
    QString key;
    QString prefix;
};
// The key and prefix an entry selects ("FileVersion", "Dateiversion:", ...).
VersionEntry versionEntry(TVersionResources resource);

// The file-flags word as text: "Debug Build, Patched Build"; empty without flags.
QString fileFlagsText(quint32 flags);

// Part of a "FileVersion" value: part n is the text between the (n-1)-th and
// the n-th dot, empty where the value has fewer parts.
QString fileVersionPart(const QString &value, TFileVersionPart part);

// The label's text without its prefix. A langCharset of "-1" is replaced by
// the resource's first translation ("040704E4") and kept. Failures come back
// as their visible texts and are shown whole, never cut.
QString versionInfoText(VersionResourceReader &reader, TVersionResources resource, const QString &key,
                        TFileVersionPart part, QString &langCharset);

// The caption: prefix, a blank and the text, or the text alone.
QString versionCaption(const QString &prefix, bool showPrefix, const QString &text);

} // namespace version
