#include "online/presence_resources.h"

#include <string>
#include <vector>

#include "ui/resources.h"

namespace plandrel {
namespace {

using qui::ControlKind;
using Xpm = std::vector<std::string>;

// A 10 x 10 square of `colour` with a darker edge, and optionally a black "L".
Xpm square(const char* colour, const char* edge, bool local) {
  Xpm xpm = {"10 10 3 1", std::string("c c ") + colour, std::string("e c ") + edge, ". c #000000"};
  for (int y = 0; y < 10; ++y) {
    std::string row(10, 'c');
    row.front() = row.back() = 'e';
    if (y == 0 || y == 9) row.assign(10, 'e');
    if (local && y >= 2 && y <= 7) row[3] = '.';
    if (local && y == 7) row.replace(3, 4, "....");
    xpm.push_back(row);
  }
  return xpm;
}

constexpr const char* kRed = "#E02020";
constexpr const char* kDarkRed = "#801010";
constexpr const char* kGreen = "#20C040";
constexpr const char* kDarkGreen = "#106020";
constexpr const char* kBlue = "#2050E0";
constexpr const char* kDarkBlue = "#102880";
constexpr const char* kGrey = "#A0A0A0";
constexpr const char* kDarkGrey = "#505050";

qui::DialogTemplate presenceDialog() {
  qui::DialogTemplate d;
  d.id = IDD_PRESENCE_STA;
  d.cx = 340;
  d.cy = 236;
  d.caption = "Stations Presence";
  d.controls = {
      {IDC_PRESENCE_TITLE, ControlKind::Static, 7, 5, 326, 10, ""},
      {IDC_PRESENCE_HINT, ControlKind::Static, 7, 17, 326, 10, ""},
      // The 16 x 16 grid is made at run time inside this box.
      {IDC_STATIC, ControlKind::GroupBox, 28, 31, 182, 173, "Address map"},
      {IDC_LEGEND_LEFT_1, ControlKind::Static, 212, 40, 52, 9, "Used address", qui::kRight},
      {IDC_LEGEND_IMAGE_1, ControlKind::Icon, 268, 40, 7, 7, "", 0, kImageUsed},
      {IDC_LEGEND_RIGHT_1, ControlKind::Static, 280, 40, 56, 9, "", qui::kHidden},
      {IDC_LEGEND_LEFT_2, ControlKind::Static, 212, 54, 52, 9, "Free address", qui::kRight},
      {IDC_LEGEND_IMAGE_2, ControlKind::Icon, 268, 54, 7, 7, "", 0, kImageFree},
      {IDC_LEGEND_RIGHT_2, ControlKind::Static, 280, 54, 56, 9, "", qui::kHidden},
      {IDC_LEGEND_LEFT_3, ControlKind::Static, 212, 68, 52, 9, "", qui::kRight | qui::kHidden},
      {IDC_LEGEND_IMAGE_3, ControlKind::Icon, 268, 68, 7, 7, "", qui::kHidden, kImageAvailable},
      {IDC_LEGEND_RIGHT_3, ControlKind::Static, 280, 68, 56, 9, "", qui::kHidden},
      {IDC_LEGEND_LEFT_4, ControlKind::Static, 212, 82, 52, 9, "", qui::kRight | qui::kHidden},
      {IDC_LEGEND_IMAGE_4, ControlKind::Icon, 268, 82, 7, 7, "", qui::kHidden, kImageUnavailable},
      {IDC_LEGEND_RIGHT_4, ControlKind::Static, 280, 82, 56, 9, "", qui::kHidden},
      {IDC_LEGEND_LOCAL, ControlKind::Static, 268, 96, 68, 9, "", qui::kHidden},
      {IDC_PRESENCE_STATUS, ControlKind::Static, 7, 208, 209, 9, ""},
      {IDC_PRESENCE_PROGRESS, ControlKind::Progress, 7, 220, 209, 10, "", qui::kHidden},
      {IDC_PRESENCE_START, ControlKind::PushButton, 283, 196, 50, 14, "Start", qui::kDefault},
      {IDC_PRESENCE_HELP, ControlKind::PushButton, 283, 215, 50, 14, "Help"},
  };
  return d;
}

}  // namespace

void RegisterPresenceResources() {
  qui::RegisterDialog(presenceDialog());
  const struct {
    unsigned id;
    Xpm xpm;
  } images[] = {
      {kImageFree, square(kGreen, kDarkGreen, false)},  {kImageUsed, square(kRed, kDarkRed, false)},
      {kImageAvailable, square(kBlue, kDarkBlue, false)}, {kImageUnavailable, square(kGrey, kDarkGrey, false)},
      {kImageLocalFree, square(kGreen, kDarkGreen, true)}, {kImageLocalUsed, square(kRed, kDarkRed, true)},
  };
  for (const auto& image : images) {
    qui::RegisterBitmap(image.id, image.xpm);
    qui::RegisterIcon(image.id, image.xpm);
  }
}

}  // namespace plandrel
