#include "frame_resources.h"

#include "ui/afxwin.h"

#include "editor_dialogs.h"
#include "frame_commands.h"
#include "frame_images.h"
#include "online/online_resources.h"
#include "settings_dialogs.h"
#include "tree_actions.h"
#include "tree_codes.h"

namespace plandrel {
namespace {

using qui::MenuTemplate;

MenuTemplate item(const char* text, unsigned id) { return MenuTemplate{text, id, {}, false, false}; }
MenuTemplate separator() { return MenuTemplate{}; }
MenuTemplate popup(const char* text, std::vector<MenuTemplate> items) {
  return MenuTemplate{text, 0, std::move(items), false, false};
}

// The menu bar. The fourth popup takes the on-line "Variables" and "Messages" popups at its
// positions 4 and 5; the file popup's recent files start at its position 8.
std::vector<MenuTemplate> menu_bar() {
  return {
      popup("&File", {item("&New\tCtrl+N", kCmdFileNew), item("&Open...\tCtrl+O", kCmdFileOpen),
                      item("&Current configuration", kCmdCurrentConfiguration), item("&Save\tCtrl+S", kCmdFileSave),
                      item("Save &As...", kCmdFileSaveAs), separator(), item("Open .cs&v...", kCmdOpenCsv),
                      separator(), item("Recent File", ID_FILE_MRU_FILE1), separator(), item("E&xit", kExitCommand)}),
      popup("&Configuration",
            {item("&General settings...", kCmdGeneralSettings), item("&Bus arbitrator...", kCmdBusArbitrator),
             separator(), item("&Stations...", kCmdEditStations), item("&Variables...", kCmdEditVariables),
             item("&Messages...", kCmdEditMessages), separator(), item("Aperiodic &lists...", kCmdEditLists)}),
      popup("&View", {item("&Toolbar", kCmdViewToolbar), item("&Status Bar", kCmdViewStatusBar), separator(),
                      item("S&mall icons", kCmdSmallIcons), item("&Large icons", kCmdLargeIcons), separator(),
                      item("&Expand tree", kCmdExpand)}),
      popup("F&IP", {item("&Connect", kCmdConnect), item("&Disconnect", kCmdDisconnect), separator(),
                     item("&Bus arbitrator control...", kCmdBaControl), item("Communication &medium(s)...", kCmdMedium),
                     item("&Send list...", kCmdSendList), item("Variables d&isplay...", kCmdVariablesDisplay),
                     separator(), item("&Presence test...", kCmdPresenceTest)}),
      popup("&Help", {item("Card &information...", kCardInformationCommand), separator(),
                      item("&About Plandrel...", kAboutCommand)}),
  };
}

}  // namespace

void RegisterFrameResources() {
  qui::RegisterMenu(kMainFrameResource, menu_bar());
  RegisterSettingsDialogs();
  RegisterEditorDialogs();
  for (std::uint16_t id : {kStationsMenu, kVariablesMenu, kMessagesMenu, kOnlineMenu}) {
    const ContextMenu* menu = find_context_menu(id);
    std::vector<MenuTemplate> entries;
    for (std::size_t i = 0; i < menu->count; ++i) entries.push_back(item(menu->entries[i].text, menu->entries[i].command));
    qui::RegisterMenu(id, {popup("", std::move(entries))});
  }

  // The keys the File menu shows.
  qui::RegisterAccelerators(kMainFrameResource, {{FVIRTKEY | FCONTROL, 'N', kCmdFileNew},
                                                 {FVIRTKEY | FCONTROL, 'O', kCmdFileOpen},
                                                 {FVIRTKEY | FCONTROL, 'S', kCmdFileSave}});
  qui::RegisterToolBar(kMainFrameResource, {kCmdFileNew, kCmdFileOpen, kCmdFileSave, 0, kCmdConnect, kCmdDisconnect, 0,
                                            kCmdExpand, kCmdIconSize, 0, kAboutCommand});
  const std::pair<unsigned, ToolbarPicture> buttons[] = {
      {kCmdFileNew, ToolbarPicture::file_new},   {kCmdFileOpen, ToolbarPicture::file_open},
      {kCmdFileSave, ToolbarPicture::file_save}, {kCmdConnect, ToolbarPicture::connect},
      {kCmdDisconnect, ToolbarPicture::disconnect}, {kCmdExpand, ToolbarPicture::expand},
      {kCmdIconSize, ToolbarPicture::icon_size}, {kAboutCommand, ToolbarPicture::about},
  };
  for (const auto& [command, picture] : buttons) qui::RegisterIcon(command, toolbar_image(picture));

  qui::RegisterIcon(kMainFrameResource, tree_image(kImageRoot, kLargeTreeImageSize));
  qui::RegisterIcon(kIconOff, medium_icon(MediumPicture::off));
  qui::RegisterIcon(kIconNeutral, medium_icon(MediumPicture::neutral));
  qui::RegisterIcon(kIconOn, medium_icon(MediumPicture::on));
  const std::pair<unsigned, DialogPicture> dialog_icons[] = {
      {IDI_BA_CONTROL, DialogPicture::ba_control},
      {IDI_VAR_PRODUCED, DialogPicture::variable_produced},
      {IDI_VAR_CONSUMED, DialogPicture::variable_consumed},
      {IDI_MES_TRANSMITTED, DialogPicture::message_transmitted},
      {IDI_MES_RECEIVED, DialogPicture::message_received},
      {IDI_MEDIUM, DialogPicture::medium},
      {IDI_APERIODIC, DialogPicture::aperiodic},
  };
  for (const auto& [id, picture] : dialog_icons) qui::RegisterIcon(id, dialog_icon(picture));
  for (int i = 0; i < kTreeImageCount; ++i) {
    qui::RegisterBitmap(kSmallTreeBitmaps[static_cast<std::size_t>(i)], tree_image(i, kSmallTreeImageSize));
    qui::RegisterBitmap(kLargeTreeBitmaps[static_cast<std::size_t>(i)], tree_image(i, kLargeTreeImageSize));
  }

  // Prompts: the status bar text, then after "\n" the tool tip.
  qui::RegisterStrings({
      {kMainFrameResource, "Plandrel"},
      {AFX_IDS_IDLEMESSAGE, "Ready"},
      {1000, "  CH1"},
      {1001, "    "},
      {1002, "  CH2"},
      {1003, " "},
      {ID_INDICATOR_CAPS, "CAP"},
      {ID_INDICATOR_NUM, "NUM"},
      {ID_INDICATOR_SCRL, "SCRL"},
      {kCmdFileNew, "Create a new configuration\nNew"},
      {kCmdFileOpen, "Open an existing configuration\nOpen"},
      {kCmdCurrentConfiguration, "Reload the configuration of the last work\nCurrent configuration"},
      {kCmdFileSave, "Save the configuration\nSave"},
      {kCmdFileSaveAs, "Save the configuration with a new name\nSave As"},
      {kCmdOpenCsv, "Choose the interpretation file of the variables display\nOpen .csv"},
      {kCmdGeneralSettings, "Edit the general settings\nGeneral settings"},
      {kCmdBusArbitrator, "Edit the bus arbitrator programs\nBus arbitrator"},
      {kCmdEditStations, "Edit the stations\nStations"},
      {kCmdEditVariables, "Edit the variables\nVariables"},
      {kCmdEditMessages, "Edit the messages\nMessages"},
      {kCmdEditLists, "Edit the aperiodical lists\nAperiodic lists"},
      {kCmdViewToolbar, "Show or hide the toolbar\nToggle ToolBar"},
      {kCmdViewStatusBar, "Show or hide the status bar\nToggle StatusBar"},
      {kCmdSmallIcons, "Show the tree with small icons\nSmall icons"},
      {kCmdLargeIcons, "Show the tree with large icons\nLarge icons"},
      {kCmdIconSize, "Switch the tree's icon size\nIcon size"},
      {kCmdExpand, "Expand the whole tree\nExpand tree"},
      {kCmdConnect, "Download the configuration and connect to the FIP network\nConnect"},
      {kCmdDisconnect, "Disconnect from the FIP network\nDisconnect"},
      {kCmdBaControl, "Control the bus arbitrator\nBus arbitrator control"},
      {kCmdMedium, "Control the communication medium(s)\nCommunication medium(s)"},
      {kCmdSendList, "Send an aperiodical list\nSend list"},
      {kCmdVariablesDisplay, "Show the physical values of the variables\nVariables display"},
      {kCmdPresenceTest, "Launch a network test\nWhich stations are present ?"},
      {kCardInformationCommand, "Show the information of the board\nCard information"},
      {kAboutCommand, "Display program information, version number and copyright\nAbout"},
      {kExitCommand, "Quit the application; prompts to save the configuration\nExit"},
  });
}

}  // namespace plandrel
