#pragma once
// The widget tests share one QApplication, made on first use (gtest_main owns main()).
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QWidget>

namespace widgettest {

inline QApplication &app()
{
    if (auto *existing = qobject_cast<QApplication *>(QCoreApplication::instance()))
        return *existing;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen"); // also when run outside ctest
    static int argc = 1;
    static char name[] = "test_widgets";
    static char *argv[] = {name, nullptr};
    // Never destroyed: tearing it down among the other statics at exit crashes
    // in Qt's input-device registry.
    static auto *instance = new QApplication(argc, argv);
    return *instance;
}

// First base of a fixture whose members are widgets, so the application
// exists before they are made (each test also runs alone under ctest).
struct WithApp {
    WithApp() { app(); }
};

// The widget painted over a magenta background, so unpainted pixels show.
inline QImage rendered(QWidget &widget)
{
    app();
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(QColor(0xFF, 0x00, 0xFF));
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

inline constexpr QRgb Unpainted = 0xFFFF00FF;

// 0xRRGGBB of a pixel, for readable comparisons with table values.
inline unsigned rgbAt(const QImage &image, int x, int y) { return image.pixel(x, y) & 0xFFFFFFu; }

} // namespace widgettest
