#include "online/board_list.h"

#include <algorithm>

#include "online/working_files_hold.h"

namespace plandrel {

const char* BoardTypeName(std::uint32_t boardType) {
    switch (boardType) {
        case kBoardTypePci: return "PCI";
        case kBoardTypePc104: return "PC104";
        case kBoardTypeUsb: return "USB";
        default: return "Unknown";
    }
}

std::string BoardEntryText(const ActiveDeviceInfo& device) {
    return std::string(BoardTypeName(device.boardType)) + " #" + std::to_string(device.boardNumber);
}

LedControls LedControlsOf(std::uint32_t boardType) {
    switch (boardType) {
        case kBoardTypePc104: return LedControls::ThreeLeds;
        case kBoardTypeUsb: return LedControls::Rgb;
        default: return LedControls::None;
    }
}

std::uint32_t BoardList::Load() {
    devices_.clear();
    std::uint16_t count = 0;
    if (const std::uint32_t code = GetActiveDevicesCount(&count); code != 0) return code;
    std::vector<ActiveDeviceInfo> records(count);
    if (const std::uint32_t code = GetActiveDevicesInfo(count, records.data()); code != 0) return code;
    std::erase_if(records, [](const ActiveDeviceInfo& r) { return r.boardNumber == 0; });
    if (!working_folder_.empty())
        for (ActiveDeviceInfo& r : records)
            if (WorkingFilesHold::HeldByAnother(working_folder_, r.boardType, r.boardNumber)) r.used = 1;
    devices_ = std::move(records);
    return 0;
}

int BoardList::FreeCount() const {
    return static_cast<int>(std::count_if(devices_.begin(), devices_.end(), [](const auto& d) { return d.used == 0; }));
}

int BoardList::FirstFree() const {
    for (std::size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].used == 0) return static_cast<int>(i);
    return -1;
}

int BoardList::Find(std::uint32_t boardType, std::uint16_t boardNumber) const {
    for (std::size_t i = 0; i < devices_.size(); ++i)
        if (devices_[i].boardType == boardType && devices_[i].boardNumber == boardNumber) return static_cast<int>(i);
    return -1;
}

bool BoardList::IsFree(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < devices_.size() && devices_[index].used == 0;
}

}  // namespace plandrel
