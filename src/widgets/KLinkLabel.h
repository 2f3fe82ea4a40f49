#pragma once
// TKLinkLabel: a label with an optional picture from an image list that follows
// the mouse (normal, hot, pressed, disabled), an optional hover underline and
// colour, an optional frame, a visited state and an optional web link opened on
// click. With a blank caption it is a picture button, as the main window's own
// minimise, maximise and close buttons are.
#include "KCustomLabel.h"
#include "KImageList.h"

#include <QPointer>
#include <functional>

class QAction;

namespace widgets {

// The picture indexes of a link label.
struct LinkLabelImages {
    int normal = -1;
    int hot = -1;
    int pressed = -1;
    int disabled = -1;
};

// The picture shown: the normal one, the hot one while hot, the disabled one
// while disabled, else the pressed one while pressed; an index outside
// 0..count-1 is passed over for the normal one.
int chooseImageIndex(const LinkLabelImages &images, int count, bool hot, bool pressed, bool enabled);

// Where text and picture go in a client area of the given size.
struct LinkLabelPlacement {
    QRect textRect;
    QPoint imagePos;
};
struct LinkLabelMetrics {
    QSize client;
    QSize text;  // measured caption
    QSize image; // the image list's picture size
    bool hasPictures = false;
    bool imageTop = false;
    TTextLayout layout = tlTop;
    int imageTextSpace = 10;
    int imageBoarderSpace = 0;
};
LinkLabelPlacement placeLinkLabel(const LinkLabelMetrics &m);

// Size a label with pictures adds to its text for auto size: picture width and
// spacing beside a caption, or exactly the picture's width for a blank one;
// the picture's height where it is taller; and the border space.
QSize linkLabelAutoSizeExtra(QSize text, QSize image, bool hasPictures, bool blankCaption, int imageTextSpace,
                             int imageBoarderSpace);

// Dynamic property of a QAction that carries its image index for linked labels.
inline constexpr const char *ActionImageIndexProperty = "ImageIndex";

class TKLinkLabel : public TKCustomLabel {
    Q_OBJECT
public:
    explicit TKLinkLabel(QWidget *parent = nullptr);
    ~TKLinkLabel() override;

    // --- properties, in their published order ---
    QColor ColorHot() const { return m_colorHot; }
    void setColorHot(const QColor &colour) { m_colorHot = colour; }
    QColor ColorVisited() const { return m_colorVisited; }
    void setColorVisited(const QColor &colour) { m_colorVisited = colour; }
    QColor ColorFrame() const { return m_colorFrame; }
    void setColorFrame(const QColor &colour);
    QColor ColorFrameHot() const { return m_colorFrameHot; }
    void setColorFrameHot(const QColor &colour);
    QColor ColorFrameSelected() const { return m_colorFrameSelected; }
    void setColorFrameSelected(const QColor &colour);
    bool UnderlineHot() const { return m_underlineHot; }
    void setUnderlineHot(bool on) { m_underlineHot = on; }
    // Picture indexes (-1 none); setting one resizes (auto size) and repaints.
    int ImageIndex() const { return m_images.normal; }
    void setImageIndex(int index);
    int ImageIndexHot() const { return m_images.hot; }
    void setImageIndexHot(int index);
    int ImageIndexPressed() const { return m_images.pressed; }
    void setImageIndexPressed(int index);
    int ImageIndexDisabled() const { return m_images.disabled; }
    void setImageIndexDisabled(int index);
    bool ImageTop() const { return m_imageTop; }
    void setImageTop(bool on);
    // On: a click opens URL.
    bool VisitLink() const { return m_visitLink; }
    void setVisitLink(bool on) { m_visitLink = on; }
    // The picture source; the label forgets a list that is destroyed.
    TKImageList *ImageList() const { return m_imageList; }
    void setImageList(TKImageList *list);
    int ImageTextSpace() const { return m_imageTextSpace; }
    void setImageTextSpace(int pixels);
    int ImageBoarderSpace() const { return m_imageBoarderSpace; }
    void setImageBoarderSpace(int pixels);
    // Setting it switches VisitLink off when the text is empty or one blank.
    QString URL() const { return m_url; }
    void setURL(const QString &url);
    // A caption equal to URL takes URL along.
    void setCaption(const QString &caption) override;
    bool ShowFrame() const { return m_showFrame; }
    void setShowFrame(bool on);
    // On: a pressed label stays selected, and pressing one deselects the other
    // link labels of the same window.
    bool ShowSelected() const { return m_showSelected; }
    void setShowSelected(bool on);
    bool Selected() const { return m_selected; }
    void setSelected(bool on);
    // The label takes caption, enabled state, hint, visibility and image index
    // (all four) from the action, follows its changes, and triggers it on click.
    QAction *Action() const { return m_action; }
    void setAction(QAction *action);

    // --- run-time state ---
    bool isHot() const { return m_hot; }
    bool isPressed() const { return m_pressed; }
    bool isVisited() const { return m_visited; }
    // Any picture index set and an image list assigned.
    bool hasPictures() const;
    // The picture index painted now (may be out of the list's range: nothing is drawn).
    int currentImageIndex() const;

    // What a click does: visited colour, the clicked signal and the linked
    // action, then the link when VisitLink is on.
    void Click();

    // How the link is opened; by default the desktop's handler for the URL.
    // The result is ignored, as a failed link is no error of the program.
    std::function<bool(const QString &url)> OpenLink;

signals:
    void clicked();

protected:
    QSize autoSizeExtra(QSize text) const override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setImageValue(int &member, int value);
    void imagesChanged();
    void actionChanged();

    QColor m_colorHot;
    QColor m_colorVisited;
    QColor m_colorFrame = QColor(0x31, 0x6A, 0xC5);
    QColor m_colorFrameHot = QColor(0xE0, 0xE8, 0xF6);
    QColor m_colorFrameSelected = QColor(0xC1, 0xD2, 0xEE);
    bool m_underlineHot = true;
    LinkLabelImages m_images;
    bool m_imageTop = false;
    bool m_visitLink = false;
    QPointer<TKImageList> m_imageList;
    int m_imageTextSpace = 10;
    int m_imageBoarderSpace = 0;
    QString m_url;
    bool m_showFrame = false;
    bool m_showSelected = false;
    bool m_selected = false;
    QPointer<QAction> m_action;

    bool m_hot = false;
    bool m_pressed = false;
    bool m_visited = false;
    QColor m_colorBeforeHot;
    bool m_underlinedBeforeHot = false;
};

} // namespace widgets
