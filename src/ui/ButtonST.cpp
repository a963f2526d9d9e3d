#include "ButtonST.h"

#include "ResourceIcons.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr int kTextFlags = Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop;

// A one-pixel frame: top and left edges in the first colour, bottom and right in the second.
void Draw3dRect(QPainter& painter, const QRect& rect, const QColor& topLeft, const QColor& bottomRight)
{
    const int x = rect.x();
    const int y = rect.y();
    const int cx = rect.width();
    const int cy = rect.height();
    painter.fillRect(x, y, cx - 1, 1, topLeft);
    painter.fillRect(x, y, 1, cy - 1, topLeft);
    painter.fillRect(x + cx - 1, y, 1, cy, bottomRight);
    painter.fillRect(x, y + cy - 1, cx, 1, bottomRight);
}

} // namespace

CButtonST::CButtonST(const QString& caption, QWidget* parent) : QPushButton(caption, parent)
{
    setMouseTracking(true);   // hover needs moves without a button held
    setAutoDefault(true);
    ResetStateColors(false);
    // Clicking gives the button the keyboard focus before the dialog's handler runs.
    connect(this, &QAbstractButton::clicked, this, [this] { setFocus(Qt::MouseFocusReason); });
}

unsigned CButtonST::LoadStateIcons(int idIn, int cxIn, int cyIn, int idOut, int cxOut, int cyOut)
{
    const QIcon in = LoadResourceIcon(idIn, {std::max(cxIn, cyIn)});
    const QIcon out = idOut == 0 ? QIcon() : LoadResourceIcon(idOut, {std::max(cxOut, cyOut)});
    return AssignStateIcons(in, QSize(cxIn, cyIn), out, QSize(cxOut, cyOut));
}

unsigned CButtonST::AssignStateIcons(const QIcon& in, QSize sizeIn, const QIcon& out, QSize sizeOut)
{
    m_icons = {};
    if (!in.isNull()) {
        if (!sizeIn.isValid() || sizeIn.isEmpty())
            return kBadIcon;
        // An icon is placed by twice its hot spot, its size with the lowest bit cleared.
        m_icons[0] = {in, sizeIn, QSize(sizeIn.width() & ~1, sizeIn.height() & ~1), {}};
        if (!out.isNull()) {
            if (!sizeOut.isValid() || sizeOut.isEmpty()) {
                m_icons = {};
                return kBadIcon;
            }
            m_icons[1] = {out, sizeOut, QSize(sizeOut.width() & ~1, sizeOut.height() & ~1), {}};
        }
    }
    update();
    return kDone;
}

unsigned CButtonST::SetStateColor(int index, const QColor& color, bool repaint)
{
    if (index < 0 || index >= StateColorCount)
        return kBadColorIndex;
    m_colors[static_cast<std::size_t>(index)] = color;
    if (repaint)
        update();
    return kDone;
}

unsigned CButtonST::ResetStateColors(bool repaint)
{
    const QPalette system = QGuiApplication::palette();
    m_colors[FaceHot] = m_colors[FaceNormal] = m_colors[FaceFocus] = system.color(QPalette::Button);
    m_colors[TextHot] = m_colors[TextNormal] = m_colors[TextFocus] = system.color(QPalette::ButtonText);
    if (repaint)
        update();
    return kDone;
}

QColor CButtonST::GetStateColor(int index) const
{
    return index >= 0 && index < StateColorCount ? m_colors[static_cast<std::size_t>(index)] : QColor();
}

void CButtonST::SetHoverTip(const QString& text, bool activate)
{
    if (text.isNull())
        return;
    m_strTip = text;
    setToolTip(activate ? m_strTip : QString());
}

void CButtonST::UseParentBackground(bool repaint)
{
    m_bParentBackground = true;
    if (repaint)
        update();
}

unsigned CButtonST::EnableFlatFrame(bool enable, bool repaint)
{
    m_bFlatFrame = enable;
    if (repaint)
        update();
    return kDone;
}

CButtonST::FrameLook CButtonST::CurrentFrame() const
{
    if (!m_bFlatFrame)
        return FrameLook::None;
    if (IsPressed())
        return FrameLook::Sunken;
    return m_bHot ? FrameLook::Raised : FrameLook::None;
}

QColor CButtonST::CurrentCaptionColor() const
{
    if (m_bHot || IsPressed())
        return m_colors[TextHot];
    if (hasFocus())
        return m_colors[TextFocus];
    return m_colors[TextNormal];
}

int CButtonST::CurrentIconSlot() const
{
    if (IsPressed() || m_bHot)
        return 0;
    return m_icons[1].icon.isNull() ? 0 : 1;
}

QRect CButtonST::IconRect() const
{
    QRect caption = rect();
    const IconSlot& slot = m_icons[static_cast<std::size_t>(CurrentIconSlot())];
    if (slot.icon.isNull())
        return {};
    return PlaceImage(!text().isEmpty(), rect(), caption, IsPressed(), slot.placeSize);
}

QRect CButtonST::CaptionRect() const
{
    QRect caption = rect();
    const IconSlot& slot = m_icons[static_cast<std::size_t>(CurrentIconSlot())];
    if (!slot.icon.isNull())
        PlaceImage(!text().isEmpty(), rect(), caption, IsPressed(), slot.placeSize);
    return PlaceCaption(text(), caption, IsPressed());
}

void CButtonST::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect item = rect();
    const bool pressed = IsPressed();
    const bool disabled = !isEnabled();

    // The face is the window's own background unless asked for a colour fill.
    if (!m_bParentBackground)
        PaintFace(painter, item);
    PaintFrame(painter, item);

    const QString caption = text();
    QRect captionRect = item;
    if (!m_icons[0].icon.isNull())
        PaintIcon(painter, !caption.isEmpty(), item, captionRect, pressed, disabled);
    if (!caption.isEmpty())
        PaintCaption(painter, caption, item, captionRect, pressed, disabled);
}

void CButtonST::PaintFace(QPainter& painter, const QRect& rect)
{
    const StateColor face = (m_bHot || IsPressed()) ? FaceHot : hasFocus() ? FaceFocus : FaceNormal;
    painter.fillRect(rect, m_colors[face]);
}

void CButtonST::PaintFrame(QPainter& painter, const QRect& rect)
{
    const QColor shadow = palette().color(QPalette::Dark);
    const QColor highlight = palette().color(QPalette::Light);
    switch (CurrentFrame()) {
    case FrameLook::Sunken:
        Draw3dRect(painter, rect, shadow, highlight);
        break;
    case FrameLook::Raised:
        Draw3dRect(painter, rect, highlight, shadow);
        break;
    case FrameLook::None:
        break;
    }
}

void CButtonST::PaintIcon(QPainter& painter, bool hasCaption, const QRect& item, QRect& caption, bool pressed,
                          bool disabled)
{
    IconSlot& slot = m_icons[static_cast<std::size_t>(CurrentIconSlot())];
    const QRect image = PlaceImage(hasCaption, item, caption, pressed, slot.placeSize);
    painter.drawPixmap(image.topLeft(), RenderedIcon(slot, disabled));
}

const QPixmap& CButtonST::RenderedIcon(IconSlot& slot, bool disabled)
{
    QPixmap& pixmap = slot.rendered[disabled ? 1 : 0];
    if (pixmap.isNull())
        pixmap = slot.icon.pixmap(slot.drawSize, disabled ? QIcon::Disabled : QIcon::Normal);
    return pixmap;
}

void CButtonST::PaintCaption(QPainter& painter, const QString& text, const QRect&, QRect& caption, bool pressed,
                             bool disabled)
{
    caption = PlaceCaption(text, caption, pressed);
    if (disabled) {
        // Embossed: highlight one pixel down and right, shadow on top at the normal place.
        painter.setPen(palette().color(QPalette::Light));
        painter.drawText(caption.translated(1, 1), kTextFlags, text);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawText(caption, kTextFlags, text);
        return;
    }
    painter.setPen(CurrentCaptionColor());
    painter.drawText(caption, kTextFlags, text);
}

QRect CButtonST::PlaceImage(bool hasCaption, const QRect& item, QRect& caption, bool pressed, QSize size) const
{
    QRect image = item;
    if (hasCaption) {
        image.setLeft(image.left() + kImageMargin.x());
        caption.setLeft(caption.left() + size.width() + kImageMargin.x());
    } else {
        image.setLeft(image.left() + (image.width() - size.width()) / 2);
    }
    image.setTop(image.top() + (image.height() - size.height()) / 2);
    if (pressed)
        image.translate(kPressShift);
    return image;
}

QRect CButtonST::PlaceCaption(const QString& text, const QRect& caption, bool pressed) const
{
    QRect box = caption;
    if (pressed)
        box.translate(kPressShift);
    // The wrapped block, anchored at the box's corner, then centred in the box.
    const QSize block = fontMetrics().boundingRect(box, kTextFlags, text).size();
    QRect placed(box.topLeft(), block);
    placed.translate((box.width() - placed.width()) / 2, (box.height() - placed.height()) / 2);
    return placed;
}

void CButtonST::mouseMoveEvent(QMouseEvent* event)
{
    QPushButton::mouseMoveEvent(event);
    TrackHover(event->buttons(), event->position().toPoint());
}

void CButtonST::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click is a press of its own: two clicks.
    mousePressEvent(event);
}

void CButtonST::enterEvent(QEnterEvent* event)
{
    QPushButton::enterEvent(event);
    TrackHover(QGuiApplication::mouseButtons(), event->position().toPoint());
}

void CButtonST::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    LeaveHotState();
}

void CButtonST::focusOutEvent(QFocusEvent* event)
{
    QPushButton::focusOutEvent(event);
    LeaveHotState();
}

void CButtonST::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    // The disabled rendering follows the style and palette.
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::PaletteChange)
        for (IconSlot& slot : m_icons)
            slot.rendered = {};
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        MoveFocusToNextTabItem();
        LeaveHotState();
    }
}

bool CButtonST::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::WindowDeactivate:
        LeaveHotState();
        break;
    case QEvent::ThemeChange:
    case QEvent::ApplicationPaletteChange:
        // A change of the system colours replaces the colours the window gave the button.
        ResetStateColors(true);
        break;
    default:
        break;
    }
    return QPushButton::event(event);
}

bool CButtonST::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

void CButtonST::TrackHover(Qt::MouseButtons buttons, const QPoint& pos)
{
    // Dragging onto the button with the left button held never makes it hot.
    if ((buttons & Qt::LeftButton) && !m_bHot)
        return;
    // Hover is tracked whether or not a window of the program is active.
    if (rect().contains(pos) && isEnabled()) {
        if (!m_bHot) {
            m_bHot = true;
            update();
        }
    } else {
        LeaveHotState();
    }
}

void CButtonST::LeaveHotState()
{
    if (m_bHot) {
        m_bHot = false;
        update();
    }
}

void CButtonST::MoveFocusToNextTabItem()
{
    // A disabled button hands the focus on to the next tab stop after it, as
    // the dialog manager does, whether or not it had the focus.
    QWidget* dialog = window();
    for (QWidget* next = nextInFocusChain(); next != nullptr && next != this; next = next->nextInFocusChain()) {
        if (next != dialog && next->window() == dialog && next->isEnabled() && next->isVisibleTo(dialog)
            && (next->focusPolicy() & Qt::TabFocus)) {
            next->setFocus(Qt::TabFocusReason);
            return;
        }
    }
    if (dialog != this)
        dialog->setFocus(Qt::OtherFocusReason);
}
