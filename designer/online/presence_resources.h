// Identifiers of the station presence test's dialog, its controls and its six grid images.
#pragma once

namespace plandrel {

inline constexpr unsigned IDD_PRESENCE_STA = 813;

inline constexpr int IDC_PRESENCE_START = 1005;  // "Start", then "Exit"
inline constexpr int IDC_PRESENCE_STATUS = 290;
inline constexpr int IDC_PRESENCE_TITLE = 295;
inline constexpr int IDC_PRESENCE_HINT = 297;
inline constexpr int IDC_PRESENCE_PROGRESS = 1409;
inline constexpr int IDC_PRESENCE_HELP = 57670;  // the standard help command

// The legend, row by row: a text on the left, an image, a text on the right; and the last line.
inline constexpr int IDC_LEGEND_LEFT_1 = 402;
inline constexpr int IDC_LEGEND_IMAGE_1 = 403;  // image 261
inline constexpr int IDC_LEGEND_RIGHT_1 = 409;
inline constexpr int IDC_LEGEND_LEFT_2 = 404;
inline constexpr int IDC_LEGEND_IMAGE_2 = 401;  // image 260
inline constexpr int IDC_LEGEND_RIGHT_2 = 410;
inline constexpr int IDC_LEGEND_LEFT_3 = 406;
inline constexpr int IDC_LEGEND_IMAGE_3 = 405;  // image 298
inline constexpr int IDC_LEGEND_RIGHT_3 = 411;
inline constexpr int IDC_LEGEND_LEFT_4 = 408;
inline constexpr int IDC_LEGEND_IMAGE_4 = 407;  // image 299
inline constexpr int IDC_LEGEND_RIGHT_4 = 412;
inline constexpr int IDC_LEGEND_LOCAL = 413;

// The grid, made at run time: the button of address a, the column and row labels.
inline constexpr int IDC_ADDRESS_FIRST = 2000;
inline constexpr int IDC_COLUMN_LABEL_FIRST = 2300;
inline constexpr int IDC_ROW_LABEL_FIRST = 2320;

// The 10 x 10 images of the grid and the legend.
enum PresenceImage : unsigned {
  kImageFree = 260,             // green: free address; after the scan, not marked and present
  kImageUsed = 261,             // red: used address; after the scan, marked and present
  kImageAvailable = 298,        // blue: not marked, no station
  kImageUnavailable = 299,      // grey: marked, no station
  kImageLocalFree = 300,        // green with a black "L": the local station, not marked
  kImageLocalUsed = 301,        // red with a black "L": the local station, marked
};

// Registers dialog 813 and the six images (as bitmaps for the grid's buttons and as icons for the
// legend's image statics).
void RegisterPresenceResources();

}  // namespace plandrel
