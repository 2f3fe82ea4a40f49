#pragma once
// TKVersionLabel: a label that shows one entry of the running program's
// version resource behind a prefix ("Dateiversion: 1.0.0.412"). Its caption is
// always computed, never set by hand; failures show as texts, nothing is raised.
#include "KCustomLabel.h"
#include "VersionResource.h"
#include "VersionText.h"

#include <memory>

namespace widgets {

using version::TFileVersionPart;
using version::TVersionResources;

class TKVersionLabel : public TKCustomLabel {
    Q_OBJECT
public:
    explicit TKVersionLabel(QWidget *parent = nullptr);

    // Only stored; takes effect at the next recomputation.
    TFileVersionPart FileVersionPart() const { return m_fileVersionPart; }
    void setFileVersionPart(TFileVersionPart part) { m_fileVersionPart = part; }
    // Stores the entry, then sets its key, then its prefix.
    TVersionResources VersionResource() const { return m_versionResource; }
    void setVersionResource(TVersionResources resource);
    // A new key also becomes the prefix (a following prefix assignment replaces it).
    QString VersionResourceKey() const { return m_key; }
    void setVersionResourceKey(const QString &key);
    QString InfoPrefix() const { return m_infoPrefix; }
    void setInfoPrefix(const QString &prefix);
    bool ShowInfoPrefix() const { return m_showInfoPrefix; }
    void setShowInfoPrefix(bool on);
    // Eight hex digits of language and code page, or "-1" for the resource's
    // first translation (replaced by that block once read).
    QString LangCharset() const { return m_langCharset; }
    void setLangCharset(const QString &langCharset);

    // The resource read; the running program's own unless a test hands another.
    void setVersionResourceReader(std::shared_ptr<version::VersionResourceReader> reader);

    // The caption is computed; assignments from outside are ignored.
    void setCaption(const QString &caption) override;

    // Reads the resource afresh and sets the caption.
    void recompute();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::shared_ptr<version::VersionResourceReader> m_reader;
    TFileVersionPart m_fileVersionPart = version::fvAll;
    TVersionResources m_versionResource = version::vrFileVersion;
    QString m_key;
    QString m_infoPrefix;
    bool m_showInfoPrefix = true;
    QString m_langCharset = QStringLiteral("-1");
};

} // namespace widgets
