#include "DialogTemplate.h"

#include "ResourceIcons.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableView>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int kSystemIconSize = 32;   // an icon static shows its icon at the system size

// Which generic family stands in for a named one.
QFont::StyleHint FontKindOf(const QString& family)
{
    const QString name = family.toLower();
    if (name.contains(QLatin1String("courier")) || name.contains(QLatin1String("fixedsys"))
        || name.contains(QLatin1String("mono")) || name.contains(QLatin1String("console")))
        return QFont::TypeWriter;
    if (name.contains(QLatin1String("times")) || name.contains(QLatin1String("roman"))
        || (name.contains(QLatin1String("serif")) && !name.contains(QLatin1String("sans"))))
        return QFont::Serif;
    return QFont::SansSerif;   // "Microsoft Sans Serif", "MS Shell Dlg", Tahoma, Arial...
}

// A one-line static whose text is wider than its rectangle (the fallback font
// runs wider than the one the template was drawn for) grows to its text
// instead of wrapping out of sight: away from its aligned edge.
QRect FitStaticText(QLabel& label, const QRect& rect, unsigned style)
{
    const QFontMetrics metrics(label.font());
    const bool oneLine = rect.height() < 2 * metrics.height();
    label.setWordWrap(!oneLine);
    const int textWidth = metrics.horizontalAdvance(label.text()) + 1;
    if (!oneLine || textWidth <= rect.width())
        return rect;
    QRect fitted = rect;
    if (style & STYLE_RIGHT)
        fitted.setLeft(rect.right() + 1 - textWidth);
    else
        fitted.setWidth(textWidth);
    return fitted;
}

// The family Windows draws a dialog font's face name in: its entry under
// FontSubstitutes ("MS Shell Dlg" is "Microsoft Sans Serif" there; wine says
// Tahoma), else the name itself when installed, else a sans-serif face:
// Windows's own dialog face, then those a wine without it finds on the host.
// Elsewhere none: the kind decides.
QString WindowsFamilyFor(const QString& family)
{
#ifdef Q_OS_WIN
    const QSettings substitutes(
        QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes"),
        QSettings::NativeFormat);
    // A name with a substitute is no font of its own, whatever the font list says.
    const QString substitute = substitutes.value(family).toString();
    const QString candidates[] = {substitute, substitute.isEmpty() ? family : QString(), QStringLiteral("Tahoma"),
                                  QStringLiteral("Segoe UI"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans"),
                                  QStringLiteral("Liberation Sans")};
    for (const QString& candidate : candidates) {
        if (!candidate.isEmpty() && QFontDatabase::hasFamily(candidate))
            return candidate;
    }
#else
    Q_UNUSED(family);
#endif
    return {};
}

double LogicalDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

} // namespace

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(number) * numerator;
    const std::int64_t magnitude = (std::llabs(product) + std::llabs(denominator) / 2) / std::llabs(denominator);
    const bool negative = (product < 0) != (denominator < 0);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

DialogBaseUnits BaseUnitsFromMetrics(int alphabetWidth, int fontHeight)
{
    return {(alphabetWidth / 26 + 1) / 2, fontHeight};
}

DialogBaseUnits BaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    return BaseUnitsFromMetrics(metrics.horizontalAdvance(QLatin1String(kAlphabet)), metrics.height());
}

QRect MapDialogRect(const QRect& dialogUnits, DialogBaseUnits units)
{
    // Each of the four values is mapped on its own, as the dialog manager places controls.
    return {MulDiv(dialogUnits.x(), units.x, 4), MulDiv(dialogUnits.y(), units.y, 8),
            MulDiv(dialogUnits.width(), units.x, 4), MulDiv(dialogUnits.height(), units.y, 8)};
}

QSize MapDialogSize(int cx, int cy, DialogBaseUnits units)
{
    return {MulDiv(cx, units.x, 4), MulDiv(cy, units.y, 8)};
}

QFont DialogFont(const QString& family, int pointSize)
{
    QFont font(family);
    if (const QString windowsFamily = WindowsFamilyFor(family); !windowsFamily.isEmpty()) {
        font.setFamily(windowsFamily);
    } else if (!QFontDatabase::hasFamily(family)) {
        QFont probe(family);
        probe.setStyleHint(FontKindOf(family));
        font.setFamily(QFontInfo(probe).family());
    }
    font.setStyleHint(FontKindOf(family));
    // Points to pixels the way the platform sizes dialog fonts: rounded, not fractional.
    font.setPixelSize(std::max(1, MulDiv(pointSize, qRound(LogicalDpi()), 72)));
    return font;
}

CTemplateDialog::CTemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent), m_template(dialogTemplate)
{
    setWindowTitle(QString::fromUtf8(m_template.caption));
    // Caption, system menu and close box; a modal frame that cannot be resized.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    setFont(DialogFont(QString::fromUtf8(m_template.fontFamily), m_template.pointSize));
    m_baseUnits = BaseUnitsOf(font());
    setFixedSize(MapDialogSize(m_template.cx, m_template.cy, m_baseUnits));
}

QWidget* CTemplateDialog::Item(int id) const
{
    const auto found = m_items.find(id);
    return found == m_items.end() ? nullptr : found->second;
}

int CTemplateDialog::DoModal()
{
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

void CTemplateDialog::CreateControls(const ControlFactory& makeControl)
{
    QList<QWidget*> groupBoxes;
    for (const ControlTemplate& control : m_template.controls) {
        QWidget* widget = makeControl ? makeControl(control, this) : nullptr;
        if (widget == nullptr)
            widget = CreateStandardControl(control);
        widget->setParent(this);
        const QRect rect = MapDialogRect(QRect(control.x, control.y, control.cx, control.cy), m_baseUnits);
        if (control.kind == ControlKind::IconStatic)
            widget->setGeometry(QRect(rect.topLeft(), QSize(kSystemIconSize, kSystemIconSize)));
        else if (control.kind == ControlKind::Static)
            widget->setGeometry(FitStaticText(static_cast<QLabel&>(*widget), rect, control.style));
        else
            widget->setGeometry(rect);

        const bool takesFocus = control.kind == ControlKind::PushButton || control.kind == ControlKind::Edit
                                || control.kind == ControlKind::ListView;
        if (takesFocus && !(control.style & STYLE_TABSTOP))
            widget->setFocusPolicy(Qt::ClickFocus);
        if (control.kind == ControlKind::GroupBox)
            groupBoxes.append(widget);

        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const int id = control.id;
            connect(button, &QAbstractButton::clicked, this, [this, id] { OnCommand(id); });
        }
        if (control.id != IDC_STATIC)
            m_items[control.id] = widget;
        if (control.kind == ControlKind::PushButton && (control.style & STYLE_DEFAULT))
            m_defaultIds.push_back(control.id);
    }
    // A group box only frames its neighbours: it stays beneath them and lets clicks through.
    for (QWidget* groupBox : groupBoxes)
        groupBox->lower();
}

QWidget* CTemplateDialog::CreateStandardControl(const ControlTemplate& control)
{
    const QString text = QString::fromUtf8(control.text ? control.text : "");
    switch (control.kind) {
    case ControlKind::PushButton: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(true);
        button->setDefault((control.style & STYLE_DEFAULT) != 0);
        return button;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(this);
        edit->setFrame((control.style & STYLE_BORDER) != 0);
        return edit;
    }
    case ControlKind::GroupBox: {
        auto* groupBox = new QGroupBox(text, this);
        groupBox->setAttribute(Qt::WA_TransparentForMouseEvents);
        groupBox->setFocusPolicy(Qt::NoFocus);
        return groupBox;
    }
    case ControlKind::Static: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(((control.style & STYLE_RIGHT) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignTop);
        return label;
    }
    case ControlKind::IconStatic: {
        auto* label = new QLabel(this);
        label->setPixmap(LoadResourceIcon(control.iconId, {kSystemIconSize}).pixmap(kSystemIconSize));
        return label;
    }
    case ControlKind::ListView:
        return new QTableView(this);
    case ControlKind::ProgressBar: {
        auto* progress = new QProgressBar(this);
        progress->setTextVisible(false);
        return progress;
    }
    }
    return new QWidget(this);
}

void CTemplateDialog::OnCommand(int id)
{
    if (id == IDOK)
        accept();
    else if (id == IDCANCEL)
        reject();
}

void CTemplateDialog::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = event->modifiers() == Qt::NoModifier
                       || (event->modifiers() == Qt::KeypadModifier && event->key() == Qt::Key_Enter);
    if (enter && plain) {
        // A focused push button takes Enter itself. Elsewhere Enter goes to the
        // template's default button; a button that merely had the focus before
        // does not count. Without a default button Enter does nothing: in the
        // main window a stray Enter after typing a field must not end the
        // program and with it the unsaved table.
        for (const int id : m_defaultIds) {
            auto* button = qobject_cast<QPushButton*>(Item(id));
            if (button != nullptr && button->isVisible()) {
                if (button->isEnabled())
                    button->click();
                return;
            }
        }
        return;
    }
    QDialog::keyPressEvent(event);
}
