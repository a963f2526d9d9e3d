// The skinned command button: the look of each state as reported and as
// painted, clicks, the focus hand-over, and where the icon goes.

#include "ButtonST.h"
#include "QtWait.h"
#include "ResourceIcons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <array>
#include <utility>

namespace {

constexpr QPoint kCentre(55, 30);

void Mouse(QWidget* widget, QEvent::Type type, Qt::MouseButtons held = Qt::NoButton, QPoint pos = kCentre)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// A window with three skinned buttons followed by an edit, as on the main window.
class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (std::size_t i = 0; i < m_buttons.size(); ++i) {
            CButtonST* button = m_buttons[i] = new CButtonST(QStringLiteral("Button %1").arg(i), &m_window);
            button->setGeometry(10 + 112 * static_cast<int>(i), 10, 110, 60);
            button->AssignStateIcons(LoadResourceIcon(IDI_UPLOAD, {28}), {28, 28}, LoadResourceIcon(IDI_SAVE, {28}),
                                     {28, 28});
            button->SetStateColor(CButtonST::TextHot, QColor(255, 0, 0), true);
            button->SetStateColor(CButtonST::TextNormal, QColor(0, 64, 128), true);
        }
        m_edit = new QLineEdit(&m_window);   // after the buttons in the tab order
        m_window.show();
        m_window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
        m_edit->setFocus();
    }

    QWidget m_window;
    std::array<CButtonST*, 3> m_buttons{};
    QLineEdit* m_edit = nullptr;
};

using Frame = CButtonST::FrameLook;

// Steps: h hover, H enter with the left button held, p press, o drag out and
// i back in with it held, l leave, f focus the button, e focus the edit, d disable.
struct StateCase {
    const char* why;
    const char* steps;
    bool hot;
    Frame frame;
    int captionSlot;   // the state colour the caption is drawn in
};

void PrintTo(const StateCase& row, std::ostream* os) { *os << row.why; }

// Whether the caption shows a pixel of this colour, give or take antialiasing.
bool CaptionShows(const QImage& image, const QRect& caption, QColor colour)
{
    for (int y = caption.top(); y <= caption.bottom(); ++y)
        for (int x = caption.left(); x <= caption.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) + std::abs(pixel.green() - colour.green())
                    + std::abs(pixel.blue() - colour.blue()) < 60)
                return true;
        }
    return false;
}

class ButtonStateTest : public ButtonTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(ButtonStateTest, ShowsAndPaintsTheLookOfItsState)
{
    const StateCase& row = GetParam();
    CButtonST* button = m_buttons[0];
    QEvent leave(QEvent::Leave);
    for (const char* step = row.steps; *step != '\0'; ++step) {
        if (*step == 'p')
            Mouse(button, QEvent::MouseButtonPress, Qt::LeftButton);
        else if (*step == 'l')
            QApplication::sendEvent(button, &leave);
        else if (*step == 'f' || *step == 'e')
            (*step == 'f' ? static_cast<QWidget*>(button) : m_edit)->setFocus();
        else if (*step == 'd')
            button->setEnabled(false);
        else
            Mouse(button, QEvent::MouseMove, *step == 'h' ? Qt::NoButton : Qt::LeftButton,
                  *step == 'o' ? QPoint(200, 30) : kCentre);
    }
    EXPECT_EQ(button->IsHot(), row.hot);
    EXPECT_EQ(button->CurrentFrame(), row.frame);
    const QColor caption = button->GetStateColor(row.captionSlot);
    EXPECT_EQ(button->CurrentCaptionColor(), caption);
    EXPECT_EQ(button->CurrentIconSlot(), row.captionSlot == CButtonST::TextHot ? 0 : 1) << "in-icon while hot";

    // No face fill; a raised frame is light at the top left, a sunken one dark.
    const QImage image = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb window = m_window.palette().color(QPalette::Window).rgb();
    const QRgb light = button->palette().color(QPalette::Light).rgb();
    const QRgb dark = button->palette().color(QPalette::Dark).rgb();
    const QRgb topLeft = row.frame == Frame::Raised ? light : row.frame == Frame::Sunken ? dark : window;
    const QRgb bottomRight = row.frame == Frame::Raised ? dark : row.frame == Frame::Sunken ? light : window;
    EXPECT_EQ(image.pixel(0, 0), topLeft);
    EXPECT_EQ(image.pixel(button->width() - 1, button->height() - 1), bottomRight);
    EXPECT_EQ(CaptionShows(image, button->CaptionRect(), caption), button->isEnabled())
        << "drawn in its state colour; when disabled, embossed in the system colours only";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ButtonStateTest,
    ::testing::Values(
        StateCase{"idle: no frame, TextNormal", "", false, Frame::None, CButtonST::TextNormal},
        StateCase{"mouse over: raised, TextHot", "h", true, Frame::Raised, CButtonST::TextHot},
        StateCase{"pressed: sunken, TextHot", "hp", true, Frame::Sunken, CButtonST::TextHot},
        StateCase{"focused and not hot: TextFocus", "f", false, Frame::None, CButtonST::TextFocus},
        StateCase{"entered with the left button held from outside: not hot", "H", false, Frame::None,
                  CButtonST::TextNormal},
        StateCase{"released and moved again: hot", "Hh", true, Frame::Raised, CButtonST::TextHot},
        StateCase{"pressed and dragged out: neither hot nor pressed", "hpo", false, Frame::None,
                  CButtonST::TextNormal},
        StateCase{"dragged back in, held: pressed look, not hot", "hpoi", false, Frame::Sunken, CButtonST::TextHot},
        StateCase{"leaving clears hot", "hl", false, Frame::None, CButtonST::TextNormal},
        StateCase{"losing the focus clears hot", "fhe", false, Frame::None, CButtonST::TextNormal},
        StateCase{"disabling clears hot", "hd", false, Frame::None, CButtonST::TextNormal}));

TEST_F(ButtonTest, DoubleClickIsTwoClicksAndDisablingHandsTheFocusOn)
{
    QSignalSpy clicks(m_buttons[0], &QAbstractButton::clicked);
    for (const QEvent::Type press : {QEvent::MouseButtonPress, QEvent::MouseButtonDblClick}) {
        Mouse(m_buttons[0], press, Qt::LeftButton);
        Mouse(m_buttons[0], QEvent::MouseButtonRelease);
    }
    EXPECT_EQ(clicks.count(), 2);
    EXPECT_EQ(m_window.focusWidget(), m_buttons[0]) << "a click takes the focus";

    m_edit->setFocus();
    m_buttons[0]->setEnabled(false);
    EXPECT_EQ(m_window.focusWidget(), m_buttons[1]) << "to the next tab stop, even from elsewhere";
    for (CButtonST* button : m_buttons)
        button->setEnabled(false);
    EXPECT_EQ(m_window.focusWidget(), m_edit) << "all buttons disabled: the edit after them";
    for (CButtonST* button : m_buttons)
        button->setEnabled(true);
    EXPECT_EQ(m_window.focusWidget(), m_edit) << "enabling moves nothing";
}

TEST_F(ButtonTest, IconSitsLeftOfTheCaptionOrCentred)
{
    struct Row { const char* why; const char* caption; int iconSize; bool pressed; QPoint icon; };
    const Row rows[] = {{"with a caption: 3-pixel margin, centred down", "Upload", 28, false, {3, 16}},
                        {"pressed moves the icon by (1, 1)", "Upload", 28, true, {4, 17}},
                        {"without a caption the icon is centred", "", 28, false, {41, 16}},
                        {"an odd size is placed as one pixel less (35 as 34)", "", 35, false, {38, 13}}};
    CButtonST& button = *m_buttons[0];
    for (const Row& row : rows) {
        const QIcon icon = LoadResourceIcon(IDI_PRINT, {row.iconSize});
        button.setText(QString::fromLatin1(row.caption));
        button.AssignStateIcons(icon, {row.iconSize, row.iconSize}, icon, {row.iconSize, row.iconSize});
        button.setDown(row.pressed);
        EXPECT_EQ(button.IconRect().topLeft(), row.icon) << row.why;
    }
}

// An icon that counts how often it is rendered, per mode.
class CountingIconEngine : public QIconEngine {
public:
    explicit CountingIconEngine(std::array<int, 2>& renders) : m_renders(renders) {}
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        ++m_renders[mode == QIcon::Disabled ? 1 : 0];
        painter->fillRect(rect, Qt::darkGreen);
    }
    QIconEngine* clone() const override { return new CountingIconEngine(m_renders); }

private:
    std::array<int, 2>& m_renders;
};

TEST_F(ButtonTest, RendersEachIconOncePerModeUntilItsIconOrSizeChanges)
{
    std::array<int, 2> renders{};   // normal, disabled
    const QIcon icon(new CountingIconEngine(renders));
    CButtonST& button = *m_buttons[0];
    const struct { const char* why; int size; bool enabled; std::array<int, 2> renders; } steps[] = {
        {"enabled: rendered once for two paints", 28, true, {1, 0}},
        {"disabled: rendered once for two paints", 28, false, {1, 1}},
        {"enabled again: the first rendering is kept", 28, true, {1, 1}},
        {"a new size renders again", 32, true, {2, 1}},
        {"and the disabled one too", 32, false, {2, 2}}};
    int size = 0;   // of the icon assigned
    for (const auto& step : steps) {
        if (std::exchange(size, step.size) != step.size)
            button.AssignStateIcons(icon, {size, size}, QIcon(), {});
        button.setEnabled(step.enabled);
        button.grab();
        button.grab();
        EXPECT_EQ(renders, step.renders) << step.why;
    }
}

} // namespace
