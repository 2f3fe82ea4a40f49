#include "KVersionLabel.h"

#include <QPainter>

namespace widgets {

TKVersionLabel::TKVersionLabel(QWidget *parent) : TKCustomLabel(parent), m_reader(version::programVersionResource())
{
    setWordWrap(false);
    setAutoSize(true);
    setVersionResource(version::vrFileVersion);
}

void TKVersionLabel::setVersionResource(TVersionResources resource)
{
    m_versionResource = resource;
    const version::VersionEntry entry = version::versionEntry(resource);
    setVersionResourceKey(entry.key);
    setInfoPrefix(entry.prefix);
}

void TKVersionLabel::setVersionResourceKey(const QString &key)
{
    if (key == m_key)
        return;
    m_key = key;
    setInfoPrefix(key);
}

void TKVersionLabel::setInfoPrefix(const QString &prefix)
{
    if (prefix == m_infoPrefix)
        return;
    m_infoPrefix = prefix;
    recompute();
}

void TKVersionLabel::setShowInfoPrefix(bool on)
{
    if (on == m_showInfoPrefix)
        return;
    m_showInfoPrefix = on;
    recompute();
}

void TKVersionLabel::setLangCharset(const QString &langCharset)
{
    if (langCharset == m_langCharset)
        return;
    m_langCharset = langCharset;
    recompute();
}

void TKVersionLabel::setVersionResourceReader(std::shared_ptr<version::VersionResourceReader> reader)
{
    m_reader = std::move(reader);
    recompute();
}

void TKVersionLabel::setCaption(const QString &) {}

void TKVersionLabel::recompute()
{
    const QString text = m_reader ? version::versionInfoText(*m_reader, m_versionResource, m_key, m_fileVersionPart,
                                                             m_langCharset)
                                  : version::NoDataText;
    TKCustomLabel::setCaption(version::versionCaption(m_infoPrefix, m_showInfoPrefix, text));
}

void TKVersionLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (!Transparent())
        painter.fillRect(rect(), Color());
    int flags = textFlags();
    flags |= Layout() == tlBottom ? Qt::AlignBottom : Layout() == tlCenter ? Qt::AlignVCenter : Qt::AlignTop;
    drawCaption(painter, rect(), flags);
}

} // namespace widgets
