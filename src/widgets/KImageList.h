#pragma once
// TKImageList: a list of equally sized pictures addressed by index, the source
// of a link label's images. WindowIconImages builds the window-icon list the
// main window's own minimise, maximise and close buttons use.
#include <QObject>
#include <QPixmap>
#include <QSize>
#include <vector>

class QPainter;

namespace widgets {

class TKImageList : public QObject {
    Q_OBJECT
public:
    explicit TKImageList(QSize imageSize = QSize(16, 16), QObject *parent = nullptr);

    int Width() const { return m_size.width(); }
    int Height() const { return m_size.height(); }
    QSize imageSize() const { return m_size; }
    int Count() const { return int(m_images.size()); }

    // Adds a picture (scaled to the list's size if it differs); returns its index.
    int Add(const QPixmap &pixmap);
    // The picture at index, or a null pixmap outside 0..Count-1.
    QPixmap image(int index) const;
    // Draws the picture at index with its top-left corner at (x, y); nothing
    // outside 0..Count-1.
    void Draw(QPainter &painter, int x, int y, int index) const;

private:
    QSize m_size;
    std::vector<QPixmap> m_images;
};

// Indexes of the window-icon list. The first nine follow the original list
// (close, minimise, maximise; each normal, hot, pressed); the greyed pictures
// for disabled buttons come after them.
enum WindowIconIndex {
    wiCloseNormal = 0,
    wiCloseHot = 1,
    wiClosePressed = 2,
    wiMinimizeNormal = 3,
    wiMinimizeHot = 4,
    wiMinimizePressed = 5,
    wiMaximizeNormal = 6,
    wiMaximizeHot = 7,
    wiMaximizePressed = 8,
    wiCloseDisabled = 9,
    wiMinimizeDisabled = 10,
    wiMaximizeDisabled = 11,
    WindowIconCount = 12
};

// A new list of the twelve 16 x 16 window icons, drawn for a dark title bar.
TKImageList *WindowIconImages(QObject *parent = nullptr);

} // namespace widgets
