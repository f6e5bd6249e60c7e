// dialog_template.h: a dialog's controls as a table in C++.
//
// A dialog or property page is described once, in one place, as the platform's dialog resources
// do: caption, size, and one row per control with its id, kind, text, position and size in
// dialog units, and style flags. The framework turns the table into Qt widgets, in table order
// (which is also the tab order), when the dialog is shown or the page first becomes active.
//
//   static const DialogControl kControls[] = {
//       {IDC_STATIC, ControlKind::kGroupBox, " Ports: ", 7, 7, 180, 120},
//       {1021, ControlKind::kListBox, nullptr, 14, 20, 80, 100, LBS_EXTENDEDSEL | WS_VSCROLL},
//       {1006, ControlKind::kPushButton, "Add ->", 100, 20, 50, 14},
//       {1057, ControlKind::kBitmap, nullptr, 200, 7, 60, 40, 0, 151},
//   };
//   const DialogTemplate kPage{107, "Configuration", 296, 173, kControls};
//
// Dialog units. Positions and sizes are given as the platform gives them for the dialog font
// MS Sans Serif 8: a horizontal unit is a quarter of the font's average character width and a
// vertical unit an eighth of its height. With that font's base units of 6 x 13 pixels, x and cx
// become x * 6 / 4 pixels and y and cy become y * 13 / 8 pixels (rounded to the nearest). The
// widgets use an 11-pixel sans-serif font (MS Sans Serif where it is installed), so texts take
// about the room they were given.
#ifndef PAIRWAY_UI_DIALOG_TEMPLATE_H
#define PAIRWAY_UI_DIALOG_TEMPLATE_H

#include <span>

#include "pairway/api.h"
#include "windef.h"
#include "winuser.h"

namespace pairway::ui {

enum class ControlKind {
  kPushButton,  // text; BS_DEFPUSHBUTTON makes it the dialog's default button
  kGroupBox,    // a frame with its caption (text may be empty)
  kText,        // static text; SS_CENTER or SS_RIGHT align it
  kBitmap,      // picture of image resource `image` (see CWinApp::SetImageResources)
  kIcon,        // icon of image resource `image`, 32 x 32
  kEdit,        // single-line edit; ES_READONLY
  kListBox,     // LBS_EXTENDEDSEL or LBS_MULTIPLESEL for multiple selection, LBS_SORT, WS_VSCROLL
  kComboBox,    // CBS_DROPDOWNLIST (choose only) or CBS_DROPDOWN (editable), CBS_SORT
  kTreeView,    // TVS_HASLINES, TVS_HASBUTTONS, TVS_LINESATROOT, TVS_SHOWSELALWAYS
};

struct DialogControl {
  int id;  // IDC_STATIC (-1) for controls the code never addresses
  ControlKind kind;
  const char* text;  // caption or initial text; null for none
  int x, y, cx, cy;  // dialog units; a combo box's cy is the height of its open list
  DWORD style = 0;   // WS_*, BS_*, ES_*, LBS_*, CBS_*, SS_*, TVS_* flags of the kind
  UINT image = 0;    // image resource of a kBitmap or kIcon
  // The initial items of a list or combo box, in order, ending with null (the platform's
  // dialog init data); null for none.
  const char* const* items = nullptr;
};

struct DialogTemplate {
  UINT id;              // the resource id (107, 129, ...), for messages and help
  const char* caption;  // the dialog's title; a property page's tab text
  int cx, cy;           // client size in dialog units
  std::span<const DialogControl> controls;
};

// Dialog units to pixels for the dialog font (see above).
PAIRWAY_API int DialogUnitsToPixelsX(int units);
PAIRWAY_API int DialogUnitsToPixelsY(int units);

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_DIALOG_TEMPLATE_H
