#include "model/values_page.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace plandrel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Variables as the session holds them, with snapshots the test changes between updates.
struct Variables {
  struct One {
    std::uint16_t identifier;
    std::uint16_t length;
    std::optional<Bytes> snapshot;
  };
  std::vector<One> list;
  std::vector<PageVariable> View() const {
    std::vector<PageVariable> view;
    for (const One& v : list) view.push_back({v.identifier, v.length, v.snapshot ? &*v.snapshot : nullptr});
    return view;
  }
};

std::string Apply(std::string text, const std::vector<PageChange>& changes) {
  for (const PageChange& c : changes) text.replace(c.position, c.length, c.text);
  return text;
}

const char* const kFile =
    "NB_AFF;\r\n"
    "gpe;Motor;\r\n"
    "c;1A2;Speed;km/h;0;16;0;0.1;LSB;\r\n"
    "c;1A2;Torque;Nm;16;8;0;1;LSB;\r\n"
    "sl;\r\n"
    "txt;20;Name;0;4;;\r\n"
    "enum;20;Mode;32;2;LSB;3;A;B;C;\r\n"
    "c;777;Ghost;V;0;8;0;1;LSB;\r\n";

TEST(ValuesPage, LayoutOfEveryKindOfLine) {
  Variables v{{{0x1A2, 4, Bytes{0x10, 0x27, 5, 0}}, {0x20, 5, std::nullopt}}};
  ValuesPage page;
  const auto layout = page.Rebuild(ParseInterpretationCsv(kFile).entries, v.View());
  // A variable never seen gives empty values; a missing variable gives no unit either.
  EXPECT_EQ(layout.text,
            " \n Motor\n Speed = 1000 km/h\n Torque = 5 Nm\n \n Name = \n Mode = \n Ghost = \n ");
  ASSERT_EQ(layout.bold.size(), 1u);
  EXPECT_EQ(layout.text.substr(layout.bold[0].first, layout.bold[0].second - layout.bold[0].first), "Motor");
  EXPECT_EQ(page.ValueLineCount(), 5u);
}

TEST(ValuesPage, UpdatesOnlyTheValuesThatMoved) {
  Variables v{{{0x1A2, 4, Bytes{0x10, 0x27, 5, 0}}, {0x20, 5, Bytes{'T', 'a', 'n', 'k', 0x80}}}};
  ValuesPage page;
  const std::string first = page.Rebuild(ParseInterpretationCsv(kFile).entries, v.View()).text;
  EXPECT_NE(first.find(" Mode = C\n"), std::string::npos) << first;
  EXPECT_TRUE(page.Update(v.View()).empty());

  // Speed grows a digit and Name shrinks: the later stretches move by what came before.
  v.list[0].snapshot = Bytes{0xA0, 0x86, 5, 0};
  v.list[1].snapshot = Bytes{'T', 0, 'n', 'k', 0};
  const auto changes = page.Update(v.View());
  ASSERT_EQ(changes.size(), 3u);
  const std::string second = Apply(first, changes);
  EXPECT_EQ(second, " \n Motor\n Speed = 3446.4 km/h\n Torque = 5 Nm\n \n Name = T\n Mode = A\n Ghost = \n ");

  // The same result as a page rebuilt from the new values, over many random moves.
  std::mt19937 random(7);
  std::string shown = second;
  for (int round = 0; round < 200; ++round) {
    for (auto& one : v.list) {
      if (random() % 3 == 0) one.snapshot.reset();
      else {
        one.snapshot = Bytes(one.length);
        for (auto& b : *one.snapshot) b = static_cast<std::uint8_t>(random() % 4 == 0 ? 0 : random());
      }
    }
    shown = Apply(shown, page.Update(v.View()));
    ValuesPage fresh;
    ASSERT_EQ(shown, fresh.Rebuild(ParseInterpretationCsv(kFile).entries, v.View()).text) << round;
  }
}

TEST(ValuesPage, EachEntryOwnsItsLineAndTheFirstVariableOfAnIdentifierIsRead) {
  // Two entries named alike (one per group), a group and a text value carrying that name, and two
  // variables with one identifier.
  const auto entries = ParseInterpretationCsv(
                           "NB_AFF;\r\ngpe;Speed = 9;\r\nc;1;Speed;a;0;8;0;1;LSB;\r\ntxt;2;T;0;9;;\r\n"
                           "gpe;Pump;\r\nc;2;Speed;b;0;8;0;1;LSB;\r\n")
                           .entries;
  Variables v{{{1, 1, Bytes{1}}, {2, 9, Bytes{'S', 'p', 'e', 'e', 'd', ' ', '=', ' ', '0'}}, {1, 1, Bytes{99}}}};
  ValuesPage page;
  const std::string first = page.Rebuild(entries, v.View()).text;
  EXPECT_EQ(first, " \n Speed = 9\n Speed = 1 a\n T = Speed = 0\n Pump\n Speed = 83 b\n ");
  v.list[0].snapshot = Bytes{2};
  v.list[1].snapshot->front() = 'X';
  EXPECT_EQ(Apply(first, page.Update(v.View())), " \n Speed = 9\n Speed = 2 a\n T = Xpeed = 0\n Pump\n Speed = 88 b\n ");
}

TEST(ValuesPage, ControlBytesOfAValueStayOnItsLine) {
  const auto entries = ParseInterpretationCsv("NB_AFF;\r\ntxt;5;Line;0;6;;\r\nsl;").entries;
  Variables v{{{5, 6, Bytes{'a', '\r', '\n', 'b', '\t', 0}}}};
  ValuesPage page;
  EXPECT_EQ(page.Rebuild(entries, v.View()).text, " \n Line = a..b.\n \n ");
}

}  // namespace
}  // namespace plandrel
