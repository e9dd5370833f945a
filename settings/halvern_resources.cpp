// The settings program's resources: dialog 102, its string table and icon 131.
#include "halvern_resources.h"

#include "resource.h"
#include "ui/afxwin.h"

namespace halvern {

void RegisterResources() {
    using qui::ControlKind;
    qui::RegisterDialog({IDD_HALVERN_DIALOG, 294, 207, "Quorelle engine settings", "MS Shell Dlg", 8,
                         qui::kModalFrame | qui::kSystemMenu,
                         {
                             {IDOK, ControlKind::PushButton, 119, 186, 50, 16, "OK", qui::kDefault},
                             {IDC_VERSION_TEXT, ControlKind::Static, 5, 8, 284, 8, "", qui::kCenter},
                             {IDC_STATIC, ControlKind::EtchedLine, 91, 18, 111, 1, ""},
                             {IDC_STATIC, ControlKind::Icon, 32, 22, 20, 20, "", 0, IDR_MAINFRAME},
                             {IDC_STATIC, ControlKind::Static, 67, 28, 159, 8, "Quorelle supports 4 cards by workstation",
                              qui::kCenter},
                             {IDC_STATIC, ControlKind::GroupBox, 5, 152, 284, 29, "Hardware setting"},
                             {IDC_PREVENT_SLEEP, ControlKind::CheckBox, 11, 165, 255, 10,
                              "Prevent automatic system sleep when FIP traffic is emitted/listened"},
                         }});
    qui::RegisterStrings({
        {IDS_VERSION_KEY, "SOFTWARE\\Talvenor\\Quorelle 5"},
        {IDS_VERSION_VALUE, "Distrib"},
        {IDS_VERSION_FORMAT, "Quorelle version %s"},
        {IDS_UNKNOWN, "unknown"},
        {IDS_RUN_AS_ADMINISTRATOR, "Cannot update data.\nPlease run again the application as administrator."},
        {IDS_UPDATE_FAILED, "Hardware settings update failed!"},
        {IDS_NOT_INSTALLED, "Quorelle not or incorrectly"},
    });
    qui::RegisterIcon(IDR_MAINFRAME, {
        "32 32 5 1",
        ". c None",
        "b c #1F4E8C",
        "l c #4F86C6",
        "w c #FFFFFF",
        "d c #0E2A50",
        "................................",
        "...........dddddddddd...........",
        "........dddllllllllllddd........",
        ".......ddlllllllllllllldd.......",
        "......ddlllllllllllllllldd......",
        ".....dlllllllllllllllllllld.....",
        "....dlllllllllllllllllllllld....",
        "...ddllwwwwllbwwwwbllwwwwlldd...",
        "..ddlllwwwwbbbwwwwbbbwwwwllldd..",
        "..dllllwwwwbbbwwwwbbbwwwwlllld..",
        "..dlllllwwbbbbbwwbbbbbwwllllld..",
        ".dllllllwwbbbbbwwbbbbbwwlllllld.",
        ".dbbbbbbwwbbbbbwwbbbbbwwbbbbbbd.",
        ".dbbbbbbwwbbbbbwwbbbbbwwbbbbbbd.",
        ".dbbbbbbwwbbbbbwwbbbbbwwbbbbbbd.",
        ".dbbbwwwwwwwwwwwwwwwwwwwwwwbbbd.",
        ".dbbbwwwwwwwwwwwwwwwwwwwwwwbbbd.",
        ".dbbbbbbbbbbbbbbbbbbbbbbbbbbbbd.",
        ".dbbbbbbbbbbbbbbbbbbbbbbbbbbbbd.",
        ".dbbbbbbbbbbbbbbbbbbbbbbbbbbbbd.",
        ".dbbbbbbbbbbbbbbbbbbbbbbbbbbbbd.",
        "..dbbbbbbbbbbbbbbbbbbbbbbbbbbd..",
        "..dbbbbbbbbbbbbbbbbbbbbbbbbbbd..",
        "..ddbbbbbbbbbbbbbbbbbbbbbbbbdd..",
        "...ddbbbbbbbbbbbbbbbbbbbbbbdd...",
        "....dbbbbbbbbbbbbbbbbbbbbbbd....",
        ".....dbbbbbbbbbbbbbbbbbbbbd.....",
        "......ddbbbbbbbbbbbbbbbbdd......",
        ".......ddbbbbbbbbbbbbbbdd.......",
        "........dddbbbbbbbbbbddd........",
        "...........dddddddddd...........",
        "................................"});
}

}  // namespace halvern
