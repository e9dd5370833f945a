// The program's resources: string tables, dialog templates, menus, toolbars, icons and bitmaps.
// A program registers its resources once at start (before InitInstance), by identifier, as the
// resource script of the original platform would have declared them. Lookups of a missing resource
// give a defined empty result: an empty text, a null icon, a dialog with no controls.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "ui/wintypes.h"

namespace qui {

// ---- string tables
void RegisterStrings(std::initializer_list<std::pair<UINT, const char*>> strings);
// The text of a string table entry; false (and an empty text) when missing.
bool LoadResourceString(UINT id, std::string& text);
std::string LoadResourceString(UINT id);

// "%1".."%9" replaced by the arguments in order (a missing argument gives an empty text).
std::string FormatResourceString(const std::string& pattern, std::initializer_list<std::string> arguments);
// printf-style formatting into a string ("%s", "%d", "%x", ...); the numeric locale is "C".
std::string FormatString(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- dialog templates
enum class ControlKind {
    PushButton,      // text; style kDefault makes it the default button
    OwnerDrawButton, // drawn by the control's DrawItem
    CheckBox,        // auto check box
    RadioButton,     // auto radio button; kGroup starts a new group
    GroupBox,
    Static,          // text; kCenter / kRight align it
    EtchedLine,      // horizontal etched separator
    Icon,            // text holds nothing; iconId names the icon
    Edit,            // kReadOnly, kMultiLine, kNumber, kPassword; limit below
    ListBox,         // kMultipleSelection, kSort
    ComboBox,        // kDropDownList (fixed) or editable
    Progress,
    Tree,
    RichEdit,
};

enum ControlStyle : unsigned {
    kDefault = 1u << 0,
    kCenter = 1u << 1,
    kRight = 1u << 2,
    kReadOnly = 1u << 3,
    kMultiLine = 1u << 4,
    kNumber = 1u << 5,
    kMultipleSelection = 1u << 6,
    kSort = 1u << 7,
    kDropDownList = 1u << 8,
    kGroup = 1u << 9,
    kDisabled = 1u << 10,
    kHidden = 1u << 11,
    kNoTabStop = 1u << 12,
    kVerticalScroll = 1u << 13,
    kPassword = 1u << 14,
    kRedText = 1u << 15,  // static text shown in red
    // A check box of a pair that the program keeps exclusive: shown and exposed as a radio button,
    // toggled as a check box. kGroup marks the first of the pair.
    kPairedBox = 1u << 16,
};

struct ControlTemplate {
    int id;  // IDC_STATIC (-1) for controls nobody addresses
    ControlKind kind;
    int x, y, cx, cy;  // dialog units
    std::string text;
    unsigned style = 0;
    UINT iconId = 0;
};

enum DialogStyle : unsigned {
    kModalFrame = 1u << 0,
    kSystemMenu = 1u << 1,
    kChild = 1u << 2,  // embedded in another window, no caption
    kMinimizeBox = 1u << 3,
    kResizable = 1u << 4,
    kVisible = 1u << 5,  // a modeless dialog shows at once
};

struct DialogTemplate {
    UINT id;
    int cx, cy;  // dialog units
    std::string caption;
    std::string font = "MS Shell Dlg";
    int pointSize = 8;
    unsigned style = kModalFrame | kSystemMenu;
    std::vector<ControlTemplate> controls;
    int minTrackWidth = 0, minTrackHeight = 0;  // pixels, for resizable dialogs
};

void RegisterDialog(DialogTemplate dialog);
// Null when the template is missing.
const DialogTemplate* FindDialog(UINT id);

// ---- menus
struct MenuTemplate {
    std::string text = {};  // "&" marks the mnemonic, "\t" the accelerator text; empty with id 0: separator
    UINT id = 0;
    std::vector<MenuTemplate> popup = {};  // non-empty: a popup entry
    bool grayed = false;
    bool checked = false;
};
void RegisterMenu(UINT id, std::vector<MenuTemplate> bar);
const std::vector<MenuTemplate>* FindMenu(UINT id);

// ---- accelerator tables (a frame loads the table of its own resource identifier)
void RegisterAccelerators(UINT id, std::vector<ACCEL> table);
const std::vector<ACCEL>* FindAccelerators(UINT id);

// ---- toolbars: command identifiers, 0 for a separator; the button images are the icons or
// bitmaps registered under the same command identifiers.
void RegisterToolBar(UINT id, std::vector<UINT> commands);
const std::vector<UINT>* FindToolBar(UINT id);

// ---- images, as XPM text (the same text as an .xpm file's array of strings)
void RegisterIcon(UINT id, std::vector<std::string> xpm);
void RegisterBitmap(UINT id, std::vector<std::string> xpm);
const std::vector<std::string>* FindIcon(UINT id);
const std::vector<std::string>* FindBitmap(UINT id);

// Clears every registration (tests).
void ClearResources();

}  // namespace qui
