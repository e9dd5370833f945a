// The settings program end to end against the registry stand-in: what it reads, what it shows and
// asks, and what it writes, with and without the right to write the engine's key.
#include <gtest/gtest.h>

#include <optional>

#include "base/machine_root.h"
#include "base/registry_store.h"
#include "halvern_app.h"
#include "halvern_dlg.h"
#include "halvern_resources.h"
#include "resource.h"
#include "ui/testing.h"

namespace {

namespace reg = qbase::registry;
using reg::Root;

constexpr const char* kEngineKey = "Software\\Talvenor\\Corvix";
constexpr const char* kVersionKey = "SOFTWARE\\Talvenor\\Quorelle 5";
constexpr const char* kSleep = "DoNotPreventSystemSleep";

struct Scenario {
    const char* name;
    // The machine
    bool engineKey = true;
    std::optional<std::uint32_t> sleepValue = std::nullopt;  // DoNotPreventSystemSleep
    bool readOnly = false;                    // the user lacks administrator rights
    bool versionKey = true;
    std::optional<std::string> distrib = std::string("5.0.1");
    // The user
    int clicks = 1;
    int answer = IDYES;
    // Expected
    int initialCheck = BST_CHECKED;
    const char* versionText = "Quorelle version 5.0.1";
    std::vector<std::string> boxes;
    std::optional<std::uint32_t> written = std::nullopt;  // the value afterwards; nullopt: absent
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

std::optional<std::uint32_t> sleepValue() {
    const auto v = reg::getValue(Root::LocalMachine, kEngineKey, kSleep);
    if (!v || v->data.size() != 4) return std::nullopt;
    return static_cast<std::uint32_t>(v->data[0] | v->data[1] << 8 | v->data[2] << 16 | static_cast<std::uint32_t>(v->data[3]) << 24);
}

reg::Value dword(std::uint32_t v) {
    return reg::Value{reg::ValueType::Dword, {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                                              static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}};
}

reg::Value text(const std::string& s) {
    reg::Value v{reg::ValueType::String, std::vector<std::uint8_t>(s.begin(), s.end())};
    v.data.push_back(0);
    return v;
}

const std::string kQuestion = "Save the new hardware setting?";
const std::string kSaved = "The hardware setting is saved.";
const std::string kFailed = "Hardware settings update failed!";
const std::string kAdministrator = "Cannot update data.\nPlease run again the application as administrator.";
const std::string kUnknownVersion = "Quorelle is incorrectly installed !\n\tUnknown version";

class Halvern : public ::testing::TestWithParam<Scenario> {
protected:
    void SetUp() override {
        // The machine boots on the program's first registry read and writes its keys then: boot it
        // first, so that the scenario's keys are the ones the program finds.
        qbase::ensureMachineBooted();
        reg::deleteKey(Root::LocalMachine, "SOFTWARE\\Talvenor");
        const Scenario& s = GetParam();
        if (s.engineKey) {
            ASSERT_TRUE(reg::createKey(Root::LocalMachine, kEngineKey));
            if (s.sleepValue) {
                ASSERT_TRUE(reg::setValue(Root::LocalMachine, kEngineKey, kSleep, dword(*s.sleepValue)));
            }
            reg::setReadOnlyForUser(Root::LocalMachine, kEngineKey, s.readOnly);
        }
        if (s.versionKey) {
            ASSERT_TRUE(reg::createKey(Root::LocalMachine, kVersionKey));
            if (s.distrib) {
                ASSERT_TRUE(reg::setValue(Root::LocalMachine, kVersionKey, "Distrib", text(*s.distrib)));
            }
        }
    }
    void TearDown() override {
        reg::setReadOnlyForUser(Root::LocalMachine, kEngineKey, false);
        reg::deleteKey(Root::LocalMachine, "SOFTWARE\\Talvenor");
        qui::ClearResources();
    }
    CHalvernApp app;
    qui::testing::ScriptedPrompts prompts;
};

TEST_P(Halvern, RunsTheDialogOnce) {
    const Scenario& s = GetParam();
    int initialCheck = -1;
    std::string version;
    int runs = 0;
    qui::testing::ScriptedDialogs script([&](CDialog& d) {
        ++runs;
        EXPECT_EQ(d.TemplateId(), static_cast<UINT>(IDD_HALVERN_DIALOG));
        initialCheck = static_cast<int>(d.IsDlgButtonChecked(IDC_PREVENT_SLEEP));
        version = d.GetDlgItemText(IDC_VERSION_TEXT);
        for (int i = 0; i < s.clicks; ++i) d.ClickDlgItem(IDC_PREVENT_SLEEP);
        prompts.Clear();
        prompts.Answer(s.answer);
        d.PressEnter();
    });
    EXPECT_FALSE(app.InitInstance());  // the program ends with the dialog
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(initialCheck, s.initialCheck);
    EXPECT_EQ(version, s.versionText);
    std::vector<std::string> shown;
    for (const auto& box : prompts.Boxes()) shown.push_back(box.text);
    EXPECT_EQ(shown, s.boxes);
    if (s.engineKey) {
        EXPECT_EQ(sleepValue(), s.written);
    }
}

const Scenario kScenarios[] = {
    // No value: the box starts checked; unchecking it and confirming writes 1.
    {.name = "NoValueUncheckWritesOne", .boxes = {kQuestion, kSaved}, .written = 1u},
    // Checking and unchecking again: nothing asked, nothing written.
    {.name = "BackToTheStartWritesNothing", .clicks = 2, .boxes = {}, .written = std::nullopt},
    // Without administrator rights: the administrator message, nothing written.
    {.name = "NoRightsWritesNothing", .sleepValue = 0u, .readOnly = true,
     .boxes = {kQuestion, kAdministrator, kFailed}, .written = 0u},
    // Value 1: the box starts clear; checking it writes 0.
    {.name = "ValueOneCheckWritesZero", .sleepValue = 1u, .initialCheck = BST_UNCHECKED, .boxes = {kQuestion, kSaved},
     .written = 0u},
    // The user says no: nothing written.
    {.name = "DeclinedWritesNothing", .sleepValue = 1u, .answer = IDNO, .initialCheck = BST_UNCHECKED, .boxes = {kQuestion},
     .written = 1u},
    // No engine key at all: not installed.
    {.name = "NoEngineKey", .engineKey = false, .boxes = {kQuestion, "Quorelle not or incorrectly", kFailed}},
    // No version key: "unknown" without a warning.
    {.name = "NoVersionKey", .versionKey = false, .clicks = 0, .versionText = "Quorelle version unknown", .boxes = {}},
};

INSTANTIATE_TEST_SUITE_P(Scenarios, Halvern, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// "Distrib" missing or unreadable: a warning, and "unknown".
class MissingDistrib : public ::testing::TestWithParam<std::optional<reg::Value>> {
protected:
    void TearDown() override {
        reg::deleteKey(Root::LocalMachine, "SOFTWARE\\Talvenor");
        qui::ClearResources();
    }
    CHalvernApp app;
    qui::testing::ScriptedPrompts prompts;
};

TEST_P(MissingDistrib, WarnsAndShowsUnknown) {
    qbase::ensureMachineBooted();
    ASSERT_TRUE(reg::createKey(Root::LocalMachine, kVersionKey));
    reg::deleteValue(Root::LocalMachine, kVersionKey, "Distrib");  // the machine's installation wrote one
    if (GetParam()) {
        ASSERT_TRUE(reg::setValue(Root::LocalMachine, kVersionKey, "Distrib", *GetParam()));
    }
    std::string version;
    qui::testing::ScriptedDialogs script([&](CDialog& d) {
        version = d.GetDlgItemText(IDC_VERSION_TEXT);
        d.PressEnter();
    });
    app.InitInstance();
    EXPECT_EQ(version, "Quorelle version unknown");
    const auto boxes = prompts.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kUnknownVersion);
    EXPECT_EQ(boxes[0].caption, "Warning");
    EXPECT_EQ(boxes[0].type & MB_ICONMASK, MB_ICONWARNING);
}

INSTANTIATE_TEST_SUITE_P(Values, MissingDistrib,
                         ::testing::Values(std::nullopt,                                  // missing
                                           dword(5),                                      // not a string
                                           text(std::string(300, '5'))));                // longer than 260

TEST(HalvernDialog, TheCounterIsNonzeroExactlyWhenTheBoxDiffers) {
    halvern::RegisterResources();
    CHalvernApp app;
    qui::testing::ScriptedPrompts prompts;
    CHalvernDlg dlg;
    std::vector<std::int32_t> counts;
    qui::testing::ScriptedDialogs script([&](CDialog& d) {
        for (int i = 0; i < 5; ++i) {
            d.ClickDlgItem(IDC_PREVENT_SLEEP);
            counts.push_back(dlg.ChangeCount());
            EXPECT_EQ(counts.back() != 0, static_cast<int>(d.IsDlgButtonChecked(IDC_PREVENT_SLEEP)) != dlg.InitialCheck());
        }
        d.PressEscape();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(counts, (std::vector<std::int32_t>{-1, 0, -1, 0, -1}));
    EXPECT_TRUE(prompts.Boxes().size() <= 1u);  // at most the version warning
    qui::ClearResources();
}

}  // namespace
