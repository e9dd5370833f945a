// What the layer asks the user: message boxes, beeps, file dialogs and popup menus. All of them go
// through one replaceable interface, so that a test scripts the answers and reads the texts shown
// (testing.h has a scripted implementation). The default shows Qt windows on the main thread; a
// worker thread's request is shown by the main thread while the worker waits (serving the sends
// addressed to its own windows meanwhile).
#pragma once

#include <string>
#include <vector>

#include "ui/wintypes.h"

class CMenu;

namespace qui {

struct FileDialogRequest {
    bool open = true;              // open (true) or save (false)
    std::string defaultExtension;  // without the dot
    std::string fileName;          // initial name; the chosen path on return
    std::string filter;            // "Text (*.txt)|*.txt|All files (*.*)|*.*||"
    int filterIndex = 1;           // 1-based filter shown first; the filter chosen on return
    DWORD flags = 0;
    std::string title;
    std::string initialFolder;
};

class UserPrompts {
public:
    virtual ~UserPrompts() = default;
    // Returns IDOK, IDCANCEL, IDYES, IDNO ... after the buttons of type (MB_OK ... MB_YESNOCANCEL).
    virtual int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) = 0;
    virtual void Beep(UINT type) = 0;
    // True when a file was chosen (request.fileName holds the path).
    virtual bool ChooseFile(HWND owner, FileDialogRequest& request) = 0;
    // Shows a popup menu at the screen point; returns the chosen command identifier, 0 for none.
    virtual UINT TrackPopupMenu(const CMenu& menu, POINT screenPoint, HWND owner) = 0;
};

// The prompts in use (never null). Set returns the previous one; null restores the default.
UserPrompts& GetUserPrompts();
UserPrompts* SetUserPrompts(UserPrompts* prompts);

// The parsed entries of a filter text: pairs of (description, patterns).
std::vector<std::pair<std::string, std::string>> ParseFileFilter(const std::string& filter);

}  // namespace qui
