#pragma once
// Controls and dialogs: the skinned command button. No link logic here.

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QPoint>
#include <QPushButton>

#include <array>

// A flat command button that paints itself: an icon left of a wrapped,
// centred caption; a raised one-pixel frame while the mouse is over it, a
// sunken one while it is pressed; caption colours by state; no focus
// rectangle. It stays a push button, so the dialog's default-button
// handling of Enter keeps working.
class CButtonST : public QPushButton {
    Q_OBJECT

public:
    enum StateColor { FaceHot = 0, TextHot, FaceNormal, TextNormal, FaceFocus, TextFocus, StateColorCount };
    enum class FrameLook { None, Raised, Sunken };

    // Status results of the set-up operations.
    static constexpr unsigned kDone = 0;
    static constexpr unsigned kBadIcon = 1;
    static constexpr unsigned kBadColorIndex = 3;

    explicit CButtonST(const QString& caption = {}, QWidget* parent = nullptr);

    // In-icon: hot or pressed; out-icon: every other state (the in-icon when none).
    unsigned LoadStateIcons(int idIn, int cxIn, int cyIn, int idOut, int cxOut, int cyOut);
    unsigned AssignStateIcons(const QIcon& in, QSize sizeIn, const QIcon& out, QSize sizeOut);
    unsigned SetStateColor(int index, const QColor& color, bool repaint);
    unsigned ResetStateColors(bool repaint);
    QColor GetStateColor(int index) const;
    void SetHoverTip(const QString& text, bool activate);
    void UseParentBackground(bool repaint);
    unsigned EnableFlatFrame(bool enable, bool repaint);

    // What the next paint shows.
    bool IsHot() const { return m_bHot; }
    bool IsPressed() const { return isDown(); }
    FrameLook CurrentFrame() const;
    QColor CurrentCaptionColor() const;   // the state colour of an enabled button
    int CurrentIconSlot() const;          // 0 = in-icon, 1 = out-icon
    QRect IconRect() const;               // where the current icon is drawn
    QRect CaptionRect() const;            // where the wrapped caption is drawn

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

    virtual void PaintFace(QPainter& painter, const QRect& rect);
    virtual void PaintFrame(QPainter& painter, const QRect& rect);
    virtual void PaintIcon(QPainter& painter, bool hasCaption, const QRect& item, QRect& caption, bool pressed,
                           bool disabled);
    virtual void PaintCaption(QPainter& painter, const QString& text, const QRect& item, QRect& caption,
                              bool pressed, bool disabled);

private:
    struct IconSlot {
        QIcon icon;
        QSize drawSize;    // the size it is rendered at
        QSize placeSize;   // the size it is placed by: odd sizes count one pixel less
        // Rendered once per mode (normal, disabled): rendering a disabled icon is slow, and a
        // row of buttons goes disabled at once. Replaced with the slot, dropped on a new look.
        std::array<QPixmap, 2> rendered;
    };

    void TrackHover(Qt::MouseButtons buttons, const QPoint& pos);
    void LeaveHotState();
    void MoveFocusToNextTabItem();
    QRect PlaceImage(bool hasCaption, const QRect& item, QRect& caption, bool pressed, QSize size) const;
    QRect PlaceCaption(const QString& text, const QRect& caption, bool pressed) const;
    const QPixmap& RenderedIcon(IconSlot& slot, bool disabled);

    // Where the image sits beside the caption, and how far image and caption move while pressed.
    static constexpr QPoint kImageMargin{3, 3};
    static constexpr QPoint kPressShift{1, 1};

    bool m_bHot = false;
    bool m_bParentBackground = false;
    bool m_bFlatFrame = true;
    std::array<QColor, StateColorCount> m_colors;
    std::array<IconSlot, 2> m_icons;
    QString m_strTip;
};
