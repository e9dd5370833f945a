// The configuration tree's texts, image indexes and bitmap resources (its item codes are the
// model's, model/item_codes.h).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "model/item_codes.h"

namespace plandrel {

inline constexpr std::string_view kRootText = "WorldFip network";
inline constexpr std::string_view kBusArbitratorText = "Local bus arbitrator";

// Image pairs: the normal image, and the selected image one above it.
enum TreeImage : int {
  kImageRoot = 0,
  kImageBusArbitrator = 2,
  kImageLocalStation = 4,
  kImageOtherStation = 6,
  kImageProducedVariable = 8,
  kImageConsumedVariable = 10,
  kImageMessageSource = 12,
  kImageMessageDestination = 14,
};
inline constexpr int kTreeImageCount = 16;
constexpr int selected_image(int image) { return image + 1; }

// Bitmap resources of the two image lists, in image order.
inline constexpr std::array<std::uint16_t, kTreeImageCount> kSmallTreeBitmaps = {
    173, 174, 153, 160, 155, 161, 156, 163, 157, 167, 170, 177, 154, 165, 171, 179};
inline constexpr std::array<std::uint16_t, kTreeImageCount> kLargeTreeBitmaps = {
    175, 176, 158, 159, 149, 162, 152, 164, 150, 168, 169, 178, 151, 166, 172, 180};
inline constexpr int kSmallTreeImageSize = 16;
inline constexpr int kLargeTreeImageSize = 32;

// The tree's result codes (CONFIG_CHECK_CODE values).
inline constexpr std::uint32_t kTreeImageListCode = 0x28000002;   // an image list not created
inline constexpr std::uint32_t kTreeBitmapCode = 0x28000003;      // a bitmap not loaded or added
inline constexpr std::uint32_t kTreeInsertCode = 0x28000006;      // an item not inserted
inline constexpr std::uint32_t kTreeItemDataCode = 0x28000007;    // an item's code not stored
inline constexpr std::uint32_t kTreeStationNotFoundCode = 0x28000008;

}  // namespace plandrel
