// CAttachToCard: the board selection dialog shown modally at the designer's start. It lists the
// boards that the engine enumerates, shows the highlighted board's characteristics and LED controls,
// and on OK stores the chosen board as the application's SelectedDevice. A single free board is
// taken at once, before the dialog is seen.
//
// DoModal: IDOK after a board was stored; IDCANCEL on Cancel or when the dialog is closed; 3 when
// there is no board; -1 when the dialog could not be created. The program ends on all but IDOK.
#pragma once

#include <filesystem>

#include "online/board_dialog.h"
#include "online/board_list.h"
#include "online/working_files_hold.h"
#include "model/selected_device.h"

namespace plandrel {

inline constexpr int kNoBoardResult = 3;

inline constexpr const char* kNoDeviceText = "Cannot start:\nNo active FIP device has been detected.";
inline constexpr const char* kSelectUnusedText = "Please select an unused device to work with";
inline constexpr const char* kCardInUseText = "No device information\n-----\nThe device is currently in used";
inline constexpr const char* kCardNotFreeText = "This card is not free";

class CAttachToCard : public CBoardDialog {
public:
    // OK writes the chosen board into `selected`.
    explicit CAttachToCard(SelectedDevice& selected, CWnd* parent = nullptr);

    // Before DoModal: boards whose working files another designer holds in `working_folder` count
    // as used, and OK takes the chosen board's into `hold` (a board whose files cannot be taken is
    // refused as a used one).
    void HoldWorkingFiles(const std::filesystem::path& working_folder, WorkingFilesHold& hold);

    BOOL OnInitDialog() override;
    void OnOK() override;

    const BoardList& Devices() const { return devices_; }
    int Selected() const { return selected_; }

private:
    // Lists the boards; highlights the board (type, number) when it is listed and free, else the
    // first free one.
    void FillDeviceList(std::uint32_t preferType, std::uint16_t preferNumber);
    void OnSelChangeDeviceList();
    // The highlighted board is still listed, still free and still answers.
    bool SelectedBoardStillFree();

    SelectedDevice& target_;
    std::filesystem::path working_folder_;
    WorkingFilesHold* hold_ = nullptr;
    BoardList devices_;
    int selected_ = -1;
    std::uint16_t selected_number_ = 0;
};

// The board selection of the designer's start: the dialog, modal, storing the chosen board in
// `device` and holding its working files in `hold`. Returns DoModal's result.
int SelectBoardAtStart(SelectedDevice& device, const std::filesystem::path& working_folder, WorkingFilesHold& hold);

}  // namespace plandrel
