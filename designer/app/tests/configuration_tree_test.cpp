#include "configuration_tree.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "memory_tree.h"
#include "records/config_format.h"
#include "sample_network.h"
#include "tree_fixtures.h"

namespace plandrel {
namespace {

using testing::add_message;
using testing::add_variable;
using testing::dump;
using testing::make_configuration;
using testing::MemoryTree;

// The (station code, image) of every item with `code` below a station, in tree order.
std::vector<std::pair<std::uint32_t, int>> placements(const MemoryTree& tree, std::uint32_t code) {
  std::vector<std::pair<std::uint32_t, int>> found;
  for (auto station = tree.first_child(tree.first_root()); station; station = tree.next_sibling(station))
    for (auto item = tree.first_child(station); item; item = tree.next_sibling(item)) {
      if (tree.data(item) == code) found.emplace_back(tree.data(station), tree.image(item));
      for (auto message = tree.first_child(item); message; message = tree.next_sibling(message))
        if (tree.data(message) == code) found.emplace_back(tree.data(station), tree.image(message));
    }
  return found;
}

// Two stations, L local (0) and R (1); VL produced by L and consumed by R, VR the other way, V3
// produced by R alone; M1 sent from VL to VR, M2 received from nowhere into VR, M3 sent from V3.
records::Configuration two_station_network() {
  auto configuration = make_configuration({"L", "R"}, 0);
  add_variable(configuration, "VL", 1, 0, {1});
  add_variable(configuration, "VR", 2, 1, {0});
  add_variable(configuration, "V3", 3, 1);
  add_message(configuration, "M1", 1, 2, true, 1);
  add_message(configuration, "M2", 9, 2, false, -1);
  add_message(configuration, "M3", 3, 1, true, 1);
  return configuration;
}

constexpr const char* kTwoStationDump =
    "WorldFip network [0] 0\n"
    "  L [100] 4\n"
    "    VL [5000] 8\n"
    "      M1 [35000] 12\n"
    "    VR [5001] 10\n"
    "      M2 [35001] 14\n"
    "  R [101] 6\n"
    "    VL [5000] 10\n"
    "      M3 [35002] 14\n"
    "    VR [5001] 8\n"
    "      M1 [35000] 14\n"
    "    V3 [5002] 8\n";

TEST(ConfigurationTreeBuild, StationsLocalFirstThenByIndexWithTheBusArbitratorAboveThem) {
  struct Case {
    std::uint16_t local;
    std::uint16_t ba_size;
    const char* expected;
  };
  const Case cases[] = {
      {2, 1,
       "WorldFip network [0] 0\n  Local bus arbitrator [1] 2\n  S2 [102] 4\n  S0 [100] 6\n  S1 [101] 6\n  S3 [103] 6\n"},
      {2, 0, "WorldFip network [0] 0\n  S2 [102] 4\n  S0 [100] 6\n  S1 [101] 6\n  S3 [103] 6\n"},
      {0, 0, "WorldFip network [0] 0\n  S0 [100] 4\n  S1 [101] 6\n  S2 [102] 6\n  S3 [103] 6\n"},
      {3, 2,
       "WorldFip network [0] 0\n  Local bus arbitrator [1] 2\n  S3 [103] 4\n  S0 [100] 6\n  S1 [101] 6\n  S2 [102] 6\n"},
  };
  for (const Case& c : cases) {
    MemoryTree tree;
    EXPECT_EQ(ConfigurationTree(tree).build(make_configuration({"S0", "S1", "S2", "S3"}, c.local, c.ba_size)), 0u);
    EXPECT_EQ(dump(tree), c.expected) << "local " << c.local << " ba_size " << c.ba_size;
  }
}

TEST(ConfigurationTreeBuild, VariablesUnderProducerAndEveryConsumerAndMessagesAtTheirSides) {
  MemoryTree tree;
  EXPECT_EQ(ConfigurationTree(tree).build(two_station_network()), 0u);
  EXPECT_EQ(dump(tree), kTwoStationDump);
}

TEST(ConfigurationTreeBuild, AVariableShowsUnderItsProducerAndEachConsumer) {
  std::vector<std::string> names;
  for (int i = 0; i <= 40; ++i) names.push_back("S" + std::to_string(i));
  auto configuration = make_configuration({}, 0);
  for (const auto& name : names) testing::set_name(configuration.stations[configuration.station_count++].name, name);
  add_variable(configuration, "V", 0x10, 1, {3, 40});
  MemoryTree tree;
  ASSERT_EQ(ConfigurationTree(tree).build(configuration), 0u);
  const std::vector<std::pair<std::uint32_t, int>> expected = {{101, 8}, {103, 10}, {140, 10}};
  EXPECT_EQ(placements(tree, 5000), expected);
}

TEST(ConfigurationTreeBuild, MessageSidesFollowTheDirectionAndTheStationsOfTheirVariables) {
  const auto configuration = two_station_network();
  struct Case {
    std::size_t message;
    std::optional<MessageSide> source;
    std::optional<MessageSide> destination;
  };
  const Case cases[] = {
      {0, MessageSide{0, 0}, MessageSide{1, 1}},  // sent: source at L, destination at R
      {1, std::nullopt, MessageSide{0, 1}},       // received from no station: destination only
      {2, std::nullopt, MessageSide{1, 0}},       // V3 is not at L: no source side
  };
  for (const Case& c : cases) {
    const MessageSides sides = message_sides(configuration, configuration.messages[c.message]);
    EXPECT_EQ(sides.source, c.source) << "message " << c.message;
    EXPECT_EQ(sides.destination, c.destination) << "message " << c.message;
  }
  // A remote station outside the table and an identifier no variable has give no side.
  auto odd = configuration.messages[0];
  odd.remote_station = 7;
  odd.source_identifier = 0x77;
  const MessageSides sides = message_sides(configuration, odd);
  EXPECT_FALSE(sides.source);
  EXPECT_FALSE(sides.destination);
}

TEST(ConfigurationTreeBuild, ReportsTheFirstStepThatFails) {
  MemoryTree refusing;
  refusing.refuse_inserts_after = 3;
  EXPECT_EQ(ConfigurationTree(refusing).build(two_station_network()), kTreeInsertCode);

  auto configuration = two_station_network();
  configuration.variables[2].producer = 7;  // no such station
  MemoryTree tree;
  EXPECT_EQ(ConfigurationTree(tree).build(configuration), kTreeStationNotFoundCode);

  configuration = two_station_network();
  records::set_consumer(configuration.variables[2], 200, true);
  configuration.variables[2].consumer_count = 1;
  EXPECT_EQ(ConfigurationTree(tree).build(configuration), kTreeStationNotFoundCode);
}

TEST(ConfigurationTreeEdit, DeletingAVariableRenumbersTheLaterOnesWhereverTheyStand) {
  auto configuration = make_configuration({"L", "R"}, 0);
  for (int i = 0; i < 5; ++i) add_variable(configuration, "V" + std::to_string(i), static_cast<std::uint16_t>(i), 0, {1});
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);
  rules.delete_variable_items(configuration.variables[2]);
  EXPECT_EQ(dump(tree),
            "WorldFip network [0] 0\n"
            "  L [100] 4\n    V0 [5000] 8\n    V1 [5001] 8\n    V3 [5002] 8\n    V4 [5003] 8\n"
            "  R [101] 6\n    V0 [5000] 10\n    V1 [5001] 10\n    V3 [5002] 10\n    V4 [5003] 10\n");
}

TEST(ConfigurationTreeEdit, DeletingAMessageRenumbersTheLaterMessages) {
  auto configuration = two_station_network();
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);
  rules.delete_message_items(configuration.messages[0]);
  EXPECT_TRUE(placements(tree, 35002).empty());
  EXPECT_EQ(placements(tree, 35000), (std::vector<std::pair<std::uint32_t, int>>{{100, 14}}));  // M2
  EXPECT_EQ(placements(tree, 35001), (std::vector<std::pair<std::uint32_t, int>>{{101, 14}}));  // M3
}

TEST(ConfigurationTreeEdit, StationsInsertAndDeleteWithRenumbering) {
  auto configuration = make_configuration({"A", "B", "L", "D"}, 2);
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);

  rules.delete_station_item(1);  // the local station's code falls with the others above 1
  EXPECT_EQ(dump(tree), "WorldFip network [0] 0\n  L [101] 4\n  A [100] 6\n  D [102] 6\n");
  configuration = make_configuration({"A", "L", "D"}, 1);
  testing::set_name(configuration.stations[1].name, "Local");
  rules.rename_station_item(configuration, 1);
  testing::set_name(configuration.stations[configuration.station_count++].name, "E");
  rules.insert_station_item(configuration, 3);
  rules.insert_station_item(configuration, -1);
  rules.insert_station_item(configuration, -1);  // shown once only
  EXPECT_EQ(dump(tree),
            "WorldFip network [0] 0\n  Local bus arbitrator [1] 2\n  Local [101] 4\n  A [100] 6\n  D [102] 6\n"
            "  E [103] 6\n");
  rules.delete_station_item(-1);
  rules.delete_station_item(-1);  // without a bus arbitrator item the local station stays
  EXPECT_EQ(dump(tree), "WorldFip network [0] 0\n  Local [101] 4\n  A [100] 6\n  D [102] 6\n  E [103] 6\n");
}

TEST(ConfigurationTreeEdit, CommandsOnItemsThatNoLongerExistChangeNothing) {
  auto configuration = two_station_network();
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);
  auto gone_variable = configuration.variables[0];
  gone_variable.key = 5100;
  auto gone_message = configuration.messages[0];
  gone_message.key = 35100;
  rules.delete_station_item(9);
  rules.rename_station_item(configuration, 9);
  rules.insert_station_item(configuration, 9);
  rules.rename_variable_items(gone_variable);
  rules.delete_variable_items(gone_variable);
  rules.rename_message_items(gone_message);
  rules.delete_message_items(gone_message);
  EXPECT_EQ(dump(tree), kTwoStationDump);

  MemoryTree empty;  // no tree built yet
  ConfigurationTree none(empty);
  none.delete_station_item(0);
  none.insert_station_item(configuration, -1);
  none.update_variable_items(configuration.variables[0]);
  none.update_message_items(configuration, configuration.messages[0]);
  none.expand_all();
  EXPECT_EQ(dump(empty), "");
}

TEST(ConfigurationTreeEdit, InsertingVariablesAndMessagesAppendsAtEveryStationThatShowsThem) {
  auto configuration = two_station_network();
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);
  auto& added = add_variable(configuration, "V4", 4, 0, {1});
  rules.insert_variable_items(configuration, added);
  EXPECT_EQ(placements(tree, 5003), (std::vector<std::pair<std::uint32_t, int>>{{100, 8}, {101, 10}}));

  // An unconfigured received message, as the session adds it: its destination at L only.
  records::MESSAGE4 unconfigured = configuration.messages[1];
  testing::set_name(unconfigured.name, "1A2to1");
  unconfigured.source_identifier = 0x1A2;
  unconfigured.destination_identifier = 1;
  unconfigured.key = 35003;
  rules.insert_message_item(configuration, unconfigured);
  EXPECT_EQ(placements(tree, 35003), (std::vector<std::pair<std::uint32_t, int>>{{100, 14}}));
}

TEST(ConfigurationTreeEdit, UpdatingAVariableMovesItsItemsAndKeepsCodeOrder) {
  auto configuration = make_configuration({"L", "R", "T"}, 0);
  add_variable(configuration, "V0", 1, 0, {2});
  add_variable(configuration, "V1", 2, 0, {1});
  add_variable(configuration, "V2", 3, 0, {2});
  auto& middle = configuration.variables[1];
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);

  middle.producer = 1;
  middle.consumers = {};
  records::set_consumer(middle, 0, true);
  records::set_consumer(middle, 2, true);
  middle.consumer_count = 2;
  rules.update_variable_items(middle);
  EXPECT_EQ(dump(tree),
            "WorldFip network [0] 0\n"
            "  L [100] 4\n    V0 [5000] 8\n    V1 [5001] 10\n    V2 [5002] 8\n"
            "  R [101] 6\n    V1 [5001] 8\n"
            "  T [102] 6\n    V0 [5000] 10\n    V1 [5001] 10\n    V2 [5002] 10\n");

  middle.consumers = {};
  middle.consumer_count = 0;
  middle.producer = 2;
  rules.update_variable_items(middle);
  EXPECT_EQ(placements(tree, 5001), (std::vector<std::pair<std::uint32_t, int>>{{102, 8}}));
}

TEST(ConfigurationTreeEdit, UpdatingAMessageMovesItsSidesAndSwapsTheirImages) {
  auto configuration = two_station_network();
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);

  // M1 becomes a message received from R: its source at R under VL, its destination at L under VR.
  configuration.messages[0].transmitted = 0;
  rules.update_message_items(configuration, configuration.messages[0]);
  EXPECT_EQ(dump(tree),
            "WorldFip network [0] 0\n"
            "  L [100] 4\n    VL [5000] 8\n    VR [5001] 10\n      M1 [35000] 14\n      M2 [35001] 14\n"
            "  R [101] 6\n    VL [5000] 10\n      M1 [35000] 12\n      M3 [35002] 14\n"
            "    VR [5001] 8\n    V3 [5002] 8\n");

  // Back again: the tree is the one built from the start.
  configuration.messages[0].transmitted = 1;
  rules.update_message_items(configuration, configuration.messages[0]);
  MemoryTree rebuilt;
  ASSERT_EQ(ConfigurationTree(rebuilt).build(configuration), 0u);
  EXPECT_EQ(dump(tree), dump(rebuilt));
}

// Many messages brought up to date at once, as a variable's Save does: after each round the tree is
// a fresh build's, the messages added one by one since the build included, and renames still
// reach every item.
TEST(ConfigurationTreeEdit, UpdatingManyMessagesAtOnceGivesTheTreeOfAFreshBuild) {
  auto configuration = two_station_network();
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);
  // More messages sent from VL to VR at R than the tree's index keeps unsorted.
  for (int k = 0; k < 300; ++k)
    rules.insert_message_item(configuration, add_message(configuration, "N" + std::to_string(k), 1, 2, true, 1));
  std::vector<std::size_t> all(configuration.messages.size());
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
  const auto expect_fresh = [&](const char* round) {
    MemoryTree fresh;
    ASSERT_EQ(ConfigurationTree(fresh).build(configuration), 0u);
    EXPECT_EQ(dump(tree), dump(fresh)) << round;
  };
  const std::vector<records::MESSAGE4> before = configuration.messages;
  for (records::MESSAGE4& m : configuration.messages) m.remote_station = -1;
  rules.update_message_items(configuration, all);
  expect_fresh("far ends without a station");
  configuration.messages = before;  // the items removed come back
  rules.update_message_items(configuration, all);
  expect_fresh("far ends at R again");
  // VR leaves R with the message items under it there, and comes back.
  records::VARIABLE4& vr = configuration.variables[1];
  vr.producer = -1;
  rules.update_variable_items(vr);
  rules.update_message_items(configuration, all);
  expect_fresh("VR no longer at R");
  vr.producer = 1;
  rules.update_variable_items(vr);
  rules.update_message_items(configuration, all);
  expect_fresh("VR at R again");
  for (records::MESSAGE4& m : configuration.messages) m.transmitted = m.transmitted != 0 ? 0 : 1;
  rules.update_message_items(configuration, all);
  expect_fresh("turned round");
  for (std::size_t i = 0; i < configuration.messages.size(); ++i) {
    testing::set_name(configuration.messages[i].name, "R" + std::to_string(i));
    rules.rename_message_items(configuration.messages[i]);
  }
  expect_fresh("renamed");
}

TEST(ConfigurationTreeEdit, RenamingTouchesTheRenamedItemsAlone) {
  auto configuration = two_station_network();
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);
  const int inserts = tree.inserts;
  testing::set_name(configuration.variables[0].name, "Pump");
  rules.rename_variable_items(configuration.variables[0]);
  EXPECT_EQ(tree.changes, 2);
  testing::set_name(configuration.messages[1].name, "Alarm");
  rules.rename_message_items(configuration.messages[1]);
  EXPECT_EQ(tree.changes, 3);
  testing::set_name(configuration.stations[1].name, "Remote");
  rules.rename_station_item(configuration, 1);
  EXPECT_EQ(tree.changes, 4);
  EXPECT_EQ(tree.inserts, inserts);
  EXPECT_EQ(tree.removals, 0);
  EXPECT_EQ(placements(tree, 5000).size(), 2u);
  EXPECT_EQ(tree.text(rules.station_item(1)), "Remote");
}

// Renames find a record's items without walking the tree: after each kind of edit, renaming every
// record must give the tree that a fresh build of the renamed configuration gives.
TEST(ConfigurationTreeEdit, RenamesAfterAnEditReachEveryItemOfTheirRecord) {
  // An unconfigured received message, as the session adds it: under VR at L.
  const auto unconfigured = [](const records::Configuration& configuration) {
    records::MESSAGE4 message = configuration.messages[1];
    testing::set_name(message.name, "9to2");
    message.key = records::message_key(configuration.messages.size());
    return message;
  };
  struct Case {
    const char* name;
    std::function<void(records::Configuration&, ConfigurationTree&, MemoryTree&)> edit;
  };
  const Case cases[] = {
      {"a variable deleted",
       [](records::Configuration& c, ConfigurationTree& rules, MemoryTree&) {
         // VL goes with the message items under it; the later variables' codes fall by one.
         const records::VARIABLE4 gone = c.variables[0];
         c.variables.erase(c.variables.begin());
         rules.delete_variable_items(gone);
         records::renumber_keys(c);
       }},
      {"a variable inserted",
       [](records::Configuration& c, ConfigurationTree& rules, MemoryTree&) {
         rules.insert_variable_items(c, add_variable(c, "V4", 4, 1, {0}));
       }},
      {"a variable moved",
       [](records::Configuration& c, ConfigurationTree& rules, MemoryTree&) {
         records::VARIABLE4& v3 = c.variables[2];
         v3.producer = 0;
         records::set_consumer(v3, 1, true);
         v3.consumer_count = 1;
         rules.update_variable_items(v3);
         // As the variable editor does, the messages follow their variables.
         for (const records::MESSAGE4& m : c.messages) rules.update_message_items(c, m);
       }},
      {"a message turned round",
       [](records::Configuration& c, ConfigurationTree& rules, MemoryTree&) {
         c.messages[0].transmitted = 0;
         rules.update_message_items(c, c.messages[0]);
       }},
      {"an unconfigured message inserted and deleted",
       [&](records::Configuration& c, ConfigurationTree& rules, MemoryTree& tree) {
         const records::MESSAGE4 added = unconfigured(c);
         rules.insert_message_item(c, added);
         testing::set_name(c.messages[1].name, "before");
         rules.rename_message_items(c.messages[1]);
         // Disconnect deletes it by its item, not through the rules.
         for (auto station = tree.first_child(tree.first_root()); station; station = tree.next_sibling(station))
           for (auto variable = tree.first_child(station); variable; variable = tree.next_sibling(variable))
             for (auto message = tree.first_child(variable); message; message = tree.next_sibling(message))
               if (tree.data(message) == added.key) {
                 tree.remove(message);
                 rules.items_changed();
                 return;
               }
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto configuration = two_station_network();
    MemoryTree tree;
    ConfigurationTree rules(tree);
    ASSERT_EQ(rules.build(configuration), 0u);
    const auto rename_all = [&](const std::string& prefix) {
      for (std::size_t i = 0; i < configuration.variables.size(); ++i) {
        testing::set_name(configuration.variables[i].name, prefix + "V" + std::to_string(i));
        rules.rename_variable_items(configuration.variables[i]);
      }
      for (std::size_t i = 0; i < configuration.messages.size(); ++i) {
        testing::set_name(configuration.messages[i].name, prefix + "M" + std::to_string(i));
        rules.rename_message_items(configuration.messages[i]);
      }
    };
    rename_all("a");
    c.edit(configuration, rules, tree);
    rename_all("b");
    MemoryTree fresh;
    ASSERT_EQ(ConfigurationTree(fresh).build(configuration), 0u);
    EXPECT_EQ(dump(tree), dump(fresh));
  }
}

TEST(ConfigurationTreeEdit, PlacesTellWhetherAnItemStandsUnderTheLocalStation) {
  const auto configuration = two_station_network();
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);
  const auto local_variable = rules.child_with_code(rules.station_item(0), 5001);
  const auto remote_variable = rules.child_with_code(rules.station_item(1), 5001);
  const auto local_message = rules.child_with_code(local_variable, 35001);
  const auto remote_message = rules.child_with_code(remote_variable, 35000);
  struct Case {
    TreeItems::Item item;
    ItemKind kind;
    bool local;
  };
  const Case cases[] = {{rules.root(), ItemKind::root, false},
                        {rules.station_item(1), ItemKind::station, false},
                        {local_variable, ItemKind::variable, true},
                        {remote_variable, ItemKind::variable, false},
                        {local_message, ItemKind::message, true},
                        {remote_message, ItemKind::message, false}};
  for (const Case& c : cases) {
    const auto place = rules.place_of(c.item, configuration);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->kind, c.kind);
    EXPECT_EQ(place->under_local_station, c.local) << place->code;
  }
  EXPECT_FALSE(rules.place_of(TreeItems::kNone, configuration));
}

TEST(ConfigurationTreeEdit, ExpandingOpensTheLocalStationAndItsVariables) {
  const auto configuration = two_station_network();
  MemoryTree tree;
  ConfigurationTree rules(tree);
  ASSERT_EQ(rules.build(configuration), 0u);
  rules.expand_local_station(configuration);
  const auto local = rules.station_item(0);
  EXPECT_TRUE(tree.expanded(rules.root()));
  EXPECT_TRUE(tree.expanded(local));
  EXPECT_TRUE(tree.expanded(rules.child_with_code(local, 5000)));
  EXPECT_FALSE(tree.expanded(rules.station_item(1)));
  rules.expand_all();
  EXPECT_TRUE(tree.expanded(rules.child_with_code(rules.station_item(1), 5000)));
}

}  // namespace
}  // namespace plandrel

namespace plandrel {
namespace {

TEST(ConfigurationTreeBuild, TheSampleNetworkReadsBackAndShowsEveryRecord) {
  const records::Configuration network = sample_network();
  records::Configuration read;
  records::LoadSummary summary;
  ASSERT_EQ(records::decode_configuration(records::encode_format4(network), read, summary), records::Status::ok);
  testing::MemoryTree tree;
  ASSERT_EQ(ConfigurationTree(tree).build(read), 0u);
  EXPECT_EQ(testing::dump(tree),
            "WorldFip network [0] 0\n"
            "  Local bus arbitrator [1] 2\n"
            "  Controller [100] 4\n"
            "    Pump speed [5000] 10\n"
            "      Valve alarm [35001] 14\n"
            "    Controller state [5001] 8\n"
            "      Setpoint [35000] 12\n"
            "    Valve command [5002] 8\n"
            "      Valve report [35002] 12\n"
            "    Valve status [5003] 10\n"
            "    Panel request [5004] 10\n"
            "  Pump station [101] 6\n"
            "    Pump speed [5000] 8\n"
            "  Valve rack [102] 6\n"
            "    Valve command [5002] 10\n"
            "    Valve status [5003] 8\n"
            "      Valve alarm [35001] 12\n"
            "      Valve report [35002] 14\n"
            "  Operator panel [103] 6\n"
            "    Pump speed [5000] 10\n"
            "    Controller state [5001] 10\n"
            "    Panel request [5004] 8\n"
            "      Setpoint [35000] 14\n");
}

}  // namespace
}  // namespace plandrel
