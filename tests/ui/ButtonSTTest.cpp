// The skinned command button: hover, press, focus and disabled looks, clicks,
// and where icon and caption go.

#include "ButtonST.h"
#include "QtWait.h"
#include "ResourceIcons.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <array>

namespace {

const QColor kTextHot(255, 0, 0);
const QColor kTextNormal(0, 64, 128);

void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Move(QWidget* widget, QPoint pos, Qt::MouseButtons buttons = Qt::NoButton)
{
    SendMouse(widget, QEvent::MouseMove, pos, Qt::NoButton, buttons);
}

void Press(QWidget* widget, QPoint pos)
{
    SendMouse(widget, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
}

void Release(QWidget* widget, QPoint pos)
{
    SendMouse(widget, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

// A window with three skinned buttons followed by an edit, as on the main window.
class ButtonTest : public ::testing::Test {
public:
    void SetUp() override
    {
        m_window.setFixedSize(480, 100);
        for (int i = 0; i < 3; ++i) {
            auto* button = new CButtonST(QStringLiteral("Button %1").arg(i), &m_window);
            button->setGeometry(10 + 112 * i, 10, 110, 60);
            button->AssignStateIcons(LoadResourceIcon(IDI_UPLOAD, {28}), {28, 28}, LoadResourceIcon(IDI_SAVE, {28}),
                                     {28, 28});
            button->SetStateColor(CButtonST::TextHot, kTextHot, true);
            button->SetStateColor(CButtonST::TextNormal, kTextNormal, true);
            m_buttons[static_cast<std::size_t>(i)] = button;
        }
        m_edit = new QLineEdit(&m_window);
        m_edit->setGeometry(350, 10, 120, 24);
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
        m_edit->setFocus();
    }

    CButtonST* Button(int i = 0) { return m_buttons[static_cast<std::size_t>(i)]; }
    QPoint Centre() const { return {55, 30}; }

    QWidget m_window;
    std::array<CButtonST*, 3> m_buttons{};
    QLineEdit* m_edit = nullptr;
};

struct Look {
    bool hot;
    CButtonST::FrameLook frame;
    int captionSlot;   // the state colour slot the caption is drawn in
    int iconSlot;
};

struct StateCase {
    const char* why;
    void (*act)(ButtonTest& test, CButtonST& button, QWidget& other);
    Look expected;
};

class ButtonStateTest : public ButtonTest, public ::testing::WithParamInterface<StateCase> {
public:
    void Hover(CButtonST& button) { Move(&button, Centre()); }
};

TEST_P(ButtonStateTest, ShowsTheLookOfItsState)
{
    const StateCase& row = GetParam();
    QWidget other;
    row.act(*this, *Button(), other);
    const CButtonST& button = *Button();
    EXPECT_EQ(button.IsHot(), row.expected.hot) << row.why;
    EXPECT_EQ(button.CurrentFrame(), row.expected.frame) << row.why;
    EXPECT_EQ(button.CurrentCaptionColor(), button.GetStateColor(row.expected.captionSlot)) << row.why;
    EXPECT_EQ(button.CurrentIconSlot(), row.expected.iconSlot) << row.why;
}

void PrintTo(const StateCase& row, std::ostream* os) { *os << row.why; }

using Frame = CButtonST::FrameLook;

INSTANTIATE_TEST_SUITE_P(
    Rows, ButtonStateTest,
    ::testing::Values(
        StateCase{"idle: no frame, out-icon, TextNormal", [](ButtonTest&, CButtonST&, QWidget&) {},
                  {false, Frame::None, CButtonST::TextNormal, 1}},
        StateCase{"mouse over: raised frame, in-icon, TextHot",
                  [](ButtonTest&, CButtonST& b, QWidget&) { Move(&b, {55, 30}); },
                  {true, Frame::Raised, CButtonST::TextHot, 0}},
        StateCase{"pressed: sunken frame, in-icon, TextHot",
                  [](ButtonTest&, CButtonST& b, QWidget&) {
                      Move(&b, {55, 30});
                      Press(&b, {55, 30});
                  },
                  {true, Frame::Sunken, CButtonST::TextHot, 0}},
        StateCase{"focused and not hot: the focus colour, which is the system button text",
                  [](ButtonTest&, CButtonST& b, QWidget&) { b.setFocus(); },
                  {false, Frame::None, CButtonST::TextFocus, 1}},
        StateCase{"entering with the left button held from outside does not make it hot",
                  [](ButtonTest&, CButtonST& b, QWidget&) { Move(&b, {55, 30}, Qt::LeftButton); },
                  {false, Frame::None, CButtonST::TextNormal, 1}},
        StateCase{"released and moved again, it becomes hot",
                  [](ButtonTest&, CButtonST& b, QWidget&) {
                      Move(&b, {55, 30}, Qt::LeftButton);
                      Move(&b, {56, 30});
                  },
                  {true, Frame::Raised, CButtonST::TextHot, 0}},
        StateCase{"pressed and dragged out: neither hot nor pressed",
                  [](ButtonTest&, CButtonST& b, QWidget&) {
                      Move(&b, {55, 30});
                      Press(&b, {55, 30});
                      Move(&b, {200, 30}, Qt::LeftButton);
                  },
                  {false, Frame::None, CButtonST::TextNormal, 1}},
        StateCase{"dragged back in with the button held: pressed look, yet not hot",
                  [](ButtonTest&, CButtonST& b, QWidget&) {
                      Move(&b, {55, 30});
                      Press(&b, {55, 30});
                      Move(&b, {200, 30}, Qt::LeftButton);
                      Move(&b, {55, 30}, Qt::LeftButton);
                  },
                  {false, Frame::Sunken, CButtonST::TextHot, 0}},
        StateCase{"leaving clears hot",
                  [](ButtonTest&, CButtonST& b, QWidget&) {
                      Move(&b, {55, 30});
                      QEvent leave(QEvent::Leave);
                      QApplication::sendEvent(&b, &leave);
                  },
                  {false, Frame::None, CButtonST::TextNormal, 1}},
        StateCase{"losing the focus clears hot",
                  [](ButtonTest& t, CButtonST& b, QWidget&) {
                      b.setFocus();
                      Move(&b, {55, 30});
                      t.m_edit->setFocus();
                  },
                  {false, Frame::None, CButtonST::TextNormal, 1}},
        StateCase{"disabling clears hot",
                  [](ButtonTest&, CButtonST& b, QWidget&) {
                      Move(&b, {55, 30});
                      b.setEnabled(false);
                  },
                  {false, Frame::None, CButtonST::TextNormal, 1}},
        StateCase{"deactivating the window clears hot",
                  [](ButtonTest&, CButtonST& b, QWidget& other) {
                      Move(&b, {55, 30});
                      other.show();
                      other.activateWindow();
                      ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
                      ASSERT_TRUE(ProcessEventsUntil([&] { return !b.isActiveWindow(); }));
                  },
                  {false, Frame::None, CButtonST::TextNormal, 1}}));

TEST_F(ButtonTest, DoubleClickCountsAsTwoClicks)
{
    QSignalSpy clicks(Button(), &QAbstractButton::clicked);
    Press(Button(), Centre());
    Release(Button(), Centre());
    SendMouse(Button(), QEvent::MouseButtonDblClick, Centre(), Qt::LeftButton, Qt::LeftButton);
    Release(Button(), Centre());
    EXPECT_EQ(clicks.count(), 2);
}

TEST_F(ButtonTest, ClickingGivesTheButtonTheFocus)
{
    Press(Button(1), Centre());
    Release(Button(1), Centre());
    EXPECT_EQ(m_window.focusWidget(), Button(1));
}

TEST_F(ButtonTest, DisablingInOrderLeavesTheFocusOnTheNextTabStop)
{
    Button(0)->setFocus();
    for (CButtonST* button : m_buttons)
        button->setEnabled(false);
    EXPECT_EQ(m_window.focusWidget(), m_edit);
    for (CButtonST* button : m_buttons)
        button->setEnabled(true);
    EXPECT_EQ(m_window.focusWidget(), m_edit) << "enabling moves nothing";
}

TEST_F(ButtonTest, DisablingMovesTheFocusEvenFromElsewhere)
{
    m_edit->setFocus();
    Button(0)->setEnabled(false);
    EXPECT_EQ(m_window.focusWidget(), Button(1));
}

TEST_F(ButtonTest, BadColourIndexChangesNothing)
{
    EXPECT_EQ(Button()->SetStateColor(6, Qt::green, true), CButtonST::kBadColorIndex);
    for (int slot = 0; slot < CButtonST::StateColorCount; ++slot)
        EXPECT_NE(Button()->GetStateColor(slot), QColor(Qt::green)) << slot;
}

TEST_F(ButtonTest, SystemColourChangeDropsTheWindowsColours)
{
    QEvent themeChange(QEvent::ThemeChange);   // what the platform sends when the system colours change
    QApplication::sendEvent(Button(), &themeChange);
    const QColor system = QGuiApplication::palette().color(QPalette::ButtonText);
    EXPECT_EQ(Button()->GetStateColor(CButtonST::TextHot), system);
    EXPECT_EQ(Button()->GetStateColor(CButtonST::TextNormal), system);
    EXPECT_EQ(Button()->GetStateColor(CButtonST::TextHot), Button(1)->GetStateColor(CButtonST::TextFocus));
}

struct PlacementCase {
    const char* why;
    QString caption;
    int iconSize;
    bool pressed;
    QPoint expectedIcon;
};

void PrintTo(const PlacementCase& row, std::ostream* os) { *os << row.why; }

class PlacementTest : public ButtonTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(PlacementTest, IconSitsLeftOfTheCaptionOrCentred)
{
    const PlacementCase& row = GetParam();
    CButtonST& button = *Button();
    button.setText(row.caption);
    const QIcon icon = LoadResourceIcon(IDI_PRINT, {row.iconSize});
    button.AssignStateIcons(icon, {row.iconSize, row.iconSize}, icon, {row.iconSize, row.iconSize});
    button.setDown(row.pressed);
    EXPECT_EQ(button.IconRect().topLeft(), row.expectedIcon) << row.why;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PlacementTest,
    ::testing::Values(
        PlacementCase{"with a caption the icon keeps a 3-pixel margin, centred down", "Upload", 28, false, {3, 16}},
        PlacementCase{"pressed moves the icon by (1, 1)", "Upload", 28, true, {4, 17}},
        PlacementCase{"without a caption the icon is centred", "", 28, false, {41, 16}},
        PlacementCase{"an odd size is placed as one pixel less (35 as 34)", "", 35, false, {38, 13}},
        PlacementCase{"a large icon on a short button", "Help", 50, false, {3, 5}}));

TEST_F(ButtonTest, CaptionIsCentredInTheRoomRightOfTheIcon)
{
    CButtonST& button = *Button();
    button.setText(QStringLiteral("Upload"));
    const QRect caption = button.CaptionRect();
    const int roomLeft = 3 + 28;   // margin and icon
    EXPECT_GE(caption.left(), roomLeft);
    EXPECT_LE(std::abs((caption.left() - roomLeft) - (button.width() - 1 - caption.right())), 1);
    EXPECT_LE(std::abs((caption.top()) - (button.height() - 1 - caption.bottom())), 1);
    button.setDown(true);
    EXPECT_EQ(button.CaptionRect(), caption.translated(1, 1)) << "pressed moves the caption with the icon";
}

TEST_F(ButtonTest, LongCaptionWrapsInsideTheButton)
{
    CButtonST& button = *Button();
    button.setText(QStringLiteral("Upload all stored records now"));
    const QRect caption = button.CaptionRect();
    EXPECT_GT(caption.height(), button.fontMetrics().height()) << "wrapped onto more than one line";
    EXPECT_TRUE(button.rect().contains(caption));
}

// Pixels of the button as painted over the window's background.
QImage Paint(CButtonST& button)
{
    return button.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int CountPixels(const QImage& image, const QRect& area, bool (*match)(QColor))
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            count += match(image.pixelColor(x, y)) ? 1 : 0;
    return count;
}

bool Reddish(QColor c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; }
bool Blueish(QColor c) { return c.blue() > c.red() + 60 && c.blue() > 100; }

TEST_F(ButtonTest, PaintsFramesOverTheWindowBackground)
{
    CButtonST& button = *Button();
    const QRgb background = m_window.palette().color(QPalette::Window).rgb();
    const QRgb light = button.palette().color(QPalette::Light).rgb();
    const QRgb dark = button.palette().color(QPalette::Dark).rgb();
    const QPoint last(button.width() - 1, button.height() - 1);

    QImage idle = Paint(button);
    EXPECT_EQ(idle.pixel(0, 0), background) << "no frame and no face fill";
    EXPECT_EQ(idle.pixel(last), background);

    Move(&button, Centre());
    QImage hot = Paint(button);
    EXPECT_EQ(hot.pixel(0, 0), light) << "raised: light top-left";
    EXPECT_EQ(hot.pixel(last), dark) << "raised: dark bottom-right";

    Press(&button, Centre());
    QImage pressed = Paint(button);
    EXPECT_EQ(pressed.pixel(0, 0), dark) << "sunken: dark top-left";
    EXPECT_EQ(pressed.pixel(last), light) << "sunken: light bottom-right";
    Release(&button, Centre());
}

TEST_F(ButtonTest, CaptionColoursFollowTheState)
{
    CButtonST& button = *Button();
    const QRect caption = button.CaptionRect();
    const QImage idle = Paint(button);
    EXPECT_GT(CountPixels(idle, caption, Blueish), 0) << "TextNormal is the dark blue";
    EXPECT_EQ(CountPixels(idle, caption, Reddish), 0);

    Move(&button, Centre());
    const QImage hot = Paint(button);
    EXPECT_GT(CountPixels(hot, caption, Reddish), 0) << "TextHot is red";

    button.setEnabled(false);
    const QImage disabled = Paint(button);
    EXPECT_EQ(CountPixels(disabled, caption, Reddish) + CountPixels(disabled, caption, Blueish), 0)
        << "a disabled caption is embossed in the system colours, never a state colour";
}

} // namespace
