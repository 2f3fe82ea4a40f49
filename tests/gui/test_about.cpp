// "&Info" and F1 in the real main window: a new About box each time, modal and
// centred, with the running program's version and build, freed when a click
// closes it; with translucency and a fast processor it fades.
#include "AboutBox.h"
#include "DataGrid.h"
#include "KVersionLabel.h"
#include "MainWindow.h"
#include "ProgramTest.h"
#include "SharedTools.h"

#include <QAction>
#include <QKeyEvent>
#include <QPointer>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

class AboutCommandTest : public ProgramTest {
protected:
    void TearDown() override
    {
        app::setWindowsXPForTests(std::nullopt);
        ProgramTest::TearDown();
    }
    // Runs the command; while the box is up, look is called with it, then it
    // is clicked. The pointer to the box, null once it is freed.
    QPointer<widgets::TFMAbout> showAndClick(const std::function<void()> &command,
                                             const std::function<void(widgets::TFMAbout &)> &look = {})
    {
        QPointer<widgets::TFMAbout> seen;
        // The box lets pending events run while it is made; wait until it is up.
        QTimer poll;
        int tries = 0;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *box = qobject_cast<widgets::TFMAbout *>(QApplication::activeModalWidget());
            // Up, and done fading in, if it fades.
            const bool up = box && box->isVisible() &&
                            (!box->fade() || box->AlphaBlendValue() == widgets::fadeInValues(*box->fade()).back());
            if (!up) {
                if (++tries > 500) // never up: end the test's wait rather than hang
                    poll.stop();
                return;
            }
            poll.stop();
            seen = box;
            if (look)
                look(*box);
            QTest::mouseClick(box->findChild<QWidget *>(QStringLiteral("PAMain")), Qt::LeftButton, {}, QPoint(5, 5));
        });
        poll.start(10);
        command();
        poll.stop();
        return seen;
    }
};

} // namespace

TEST_F(AboutCommandTest, InfoShowsTheVersionOfTheRunningProgramAndFreesTheBox)
{
    w->setGeometry(120, 80, 935, 713);
    w->show();
    QString version;
    QString build;
    QPoint centre;
    bool modal = false;
    QPointer<widgets::TFMAbout> first = showAndClick([&] { w->action(QStringLiteral("ACinfo"))->trigger(); },
                                                     [&](widgets::TFMAbout &box) {
        version = box.findChild<widgets::TKVersionLabel *>(QStringLiteral("KVersionLabel1"))->Caption();
        build = box.findChild<widgets::TKVersionLabel *>(QStringLiteral("KVersionLabel2"))->Caption();
        centre = box.geometry().center();
        modal = box.isModal();
    });
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Version: \\d+\\.\\d+\\.\\d+$")).match(version).hasMatch())
        << version.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Built: \\d+$")).match(build).hasMatch()) << build.toStdString();
    EXPECT_TRUE(modal);
    EXPECT_LE((centre - w->frameGeometry().center()).manhattanLength(), 2);
    EXPECT_TRUE(first.isNull()) << "the box is freed when it closes";
    EXPECT_TRUE(boxes.isEmpty());

    // F1 in the window: another new box.
    QApplication::setActiveWindow(w);
    bool shown = false;
    showAndClick([&] {
        QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QCoreApplication::sendEvent(w->grid(), &f1);
    }, [&](widgets::TFMAbout &) { shown = true; });
    EXPECT_TRUE(shown);
}

TEST_F(AboutCommandTest, FadesWhereTranslucencyAndAFastProcessorAre)
{
    app::setWindowsXPForTests(true);
    w->ProcessorSpeed = 2600;
    w->show();
    w->FirstActivation = false;
    bool fading = false;
    bool timerRuns = true;
    int value = -1;
    showAndClick([&] { w->action(QStringLiteral("ACinfo"))->trigger(); }, [&](widgets::TFMAbout &box) {
        fading = box.AlphaBlend() && box.hasShadow();
        timerRuns = box.findChild<QTimer *>(QStringLiteral("TimerClose"))->isActive();
        value = box.AlphaBlendValue();
    });
    EXPECT_TRUE(fading);
    EXPECT_FALSE(timerRuns) << "opened by the user, the box waits for a click";
    EXPECT_EQ(value, 254) << "127 steps of 2";

    app::setWindowsXPForTests(false);
    showAndClick([&] { w->action(QStringLiteral("ACinfo"))->trigger(); },
                 [&](widgets::TFMAbout &box) { fading = box.AlphaBlend() || box.hasShadow(); });
    EXPECT_FALSE(fading);
}
