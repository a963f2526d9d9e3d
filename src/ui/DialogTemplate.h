#pragma once
// Controls and dialogs: the button skin, the small dialogs and the dialog
// templates they are built from. No link, data or report code here.

#include <QDialog>
#include <QFont>
#include <QRect>

#include <functional>
#include <map>
#include <span>
#include <vector>

// Command IDs of the dialog manager.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDC_STATIC = -1;   // statics without an ID of their own

enum class ControlKind { PushButton, Edit, GroupBox, Static, IconStatic, ListView, ProgressBar };

enum ControlStyle : unsigned {
    STYLE_NONE = 0,
    STYLE_DEFAULT = 1u << 0,    // the dialog's default push button
    STYLE_TABSTOP = 1u << 1,
    STYLE_RIGHT = 1u << 2,      // right-aligned static text
    STYLE_BORDER = 1u << 3,
};

// One control of a template; the rectangle is in dialog units.
struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;
    int x, y, cx, cy;
    unsigned style;
    int iconId = 0;   // icon resource of an IconStatic
};

// A dialog as data: caption, font, client size in dialog units, and its
// controls in template order, which is also the tab order.
struct DialogTemplate {
    int id;
    const char* caption;
    const char* fontFamily;
    int pointSize;
    int cx, cy;
    std::span<const ControlTemplate> controls;
};

// Dialog units are a quarter of the font's average character width across
// and an eighth of its height down.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
    bool operator==(const DialogBaseUnits&) const = default;
};

// number * numerator / denominator rounded to the nearest integer, halves away
// from zero, as the platform's MulDiv does; -1 for a zero denominator.
int MulDiv(int number, int numerator, int denominator);

// Average width = (width of "A..Za..z" / 26 + 1) / 2; height = the font's height.
DialogBaseUnits BaseUnitsFromMetrics(int alphabetWidth, int fontHeight);
DialogBaseUnits BaseUnitsOf(const QFont& font);

QRect MapDialogRect(const QRect& dialogUnits, DialogBaseUnits units);
QSize MapDialogSize(int cx, int cy, DialogBaseUnits units);

// The font a template names, at the screen's resolution. A family this machine
// lacks falls back to the family Windows maps it to (on Windows), else to the
// closest installed family of the same kind.
QFont DialogFont(const QString& family, int pointSize);

// A modal dialog laid out from a template: each control at its rectangle,
// in template order, in the template's font.
class CTemplateDialog : public QDialog {
    Q_OBJECT

public:
    explicit CTemplateDialog(const DialogTemplate& dialogTemplate, QWidget* parent = nullptr);

    QWidget* Item(int id) const;   // nullptr for an unknown ID
    DialogBaseUnits BaseUnits() const { return m_baseUnits; }

    // Runs the dialog modally; IDOK or IDCANCEL.
    int DoModal();

protected:
    // Builds the template's controls. makeControl may create a control of its
    // own for a template entry; returning nullptr gives the standard one.
    using ControlFactory = std::function<QWidget*(const ControlTemplate&, QWidget* parent)>;
    void CreateControls(const ControlFactory& makeControl = {});

    // Push buttons report their ID here; OK and Cancel end the dialog.
    virtual void OnCommand(int id);

    // Enter with no default push button acts as OK, like the dialog manager.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* CreateStandardControl(const ControlTemplate& control);

    const DialogTemplate& m_template;
    DialogBaseUnits m_baseUnits;
    std::map<int, QWidget*> m_items;
    std::vector<int> m_defaultIds;   // push buttons the template makes the default
};
