#pragma once
// TKCustomLabel: the plain label the link label and the grip line build on -
// caption, horizontal alignment, vertical layout, word wrap, transparency,
// auto size, accelerator characters, background and font colour. It draws its
// text with the classic flags and emboss for a disabled label.
#include <QColor>
#include <QString>
#include <QWidget>

namespace widgets {

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };

class TKCustomLabel : public QWidget {
    Q_OBJECT
public:
    explicit TKCustomLabel(QWidget *parent = nullptr);

    QString Caption() const { return m_caption; }
    virtual void setCaption(const QString &caption);
    TAlignment Alignment() const { return m_alignment; }
    void setAlignment(TAlignment alignment);
    TTextLayout Layout() const { return m_layout; }
    void setLayout(TTextLayout layout);
    bool WordWrap() const { return m_wordWrap; }
    void setWordWrap(bool on);
    // A transparent label paints no background.
    bool Transparent() const { return m_transparent; }
    void setTransparent(bool on);
    // On: the label takes the size of its text (see AdjustBounds).
    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool on);
    // On: "&x" underlines x instead of showing the ampersand.
    bool ShowAccelChar() const { return m_showAccelChar; }
    void setShowAccelChar(bool on);
    // Background colour; invalid means the parent's colour.
    QColor Color() const;
    void setColor(const QColor &colour);
    QColor FontColor() const { return m_fontColor; }
    void setFontColor(const QColor &colour);

    // The text's size in the current font; an empty caption measures as one
    // blank. A word-wrapping label measures within its current width.
    QSize textExtent() const;

    // Resizes the label to its content when AutoSize is on; a right-aligned
    // label keeps its right edge.
    void AdjustBounds();

protected:
    // Size added to the text's for auto size; the plain label adds nothing.
    virtual QSize autoSizeExtra(QSize text) const;
    // Qt text flags for the caption: word wrap, tab expansion, accelerators and
    // the horizontal alignment (mirrored for right-to-left).
    int textFlags() const;
    // The caption in rect; a disabled label draws it embossed (highlight one
    // pixel down and right, then shadow).
    void drawCaption(QPainter &painter, const QRect &rect, int flags) const;
    void changeEvent(QEvent *event) override;

private:
    QString m_caption;
    TAlignment m_alignment = taLeftJustify;
    TTextLayout m_layout = tlTop;
    bool m_wordWrap = false;
    bool m_transparent = false;
    bool m_autoSize = true;
    bool m_showAccelChar = true;
    QColor m_color;
    QColor m_fontColor;
};

} // namespace widgets
