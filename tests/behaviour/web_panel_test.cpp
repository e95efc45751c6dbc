// The panel's page and its live messages, on the panel model over the
// simulated instrument: what a page's message does to the line, and what
// the page is told.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "panel/model/panel_model.h"
#include "panel/web/live.h"
#include "panel/web/page.h"
#include "resources/ids.h"
#include "tests/behaviour/model_bench.h"

namespace kolvane::test {
namespace {

using web_panel::Command;

// The bench, with a page's message sent as the server runs it.
struct PageBench : ModelBench {
  std::vector<std::string> Send(std::string_view message, bool viewOnly = false) {
    const auto command = web_panel::ParseCommand(message);
    if (!command) return {"unparsed"};
    return web_panel::Run(model, *command, viewOnly);
  }
};

TEST(WebPanel, ParsesThePagesMessagesOnly) {
  struct Case {
    const char* message;
    std::optional<Command> parsed;
  };
  using K = Command::Kind;
  const Case cases[] = {
      {R"({"click":1007})", Command{K::kClick, 1007, 0}},
      {R"({"dialog":143,"select":1069,"index":2})", Command{K::kSelect, 1069, 2, 143}},
      {R"({"dialog":143,"click":2})", Command{K::kClick, 2, 0, 143}},
      {R"({"select":1026,"index":1})", Command{K::kSelect, 1026, 1}},
      {R"({"spin":1034,"up":true})", Command{K::kSpin, 1034, 1}},
      {R"({"spin":1034,"up":false})", Command{K::kSpin, 1034, 0}},
      {R"({"click":"1007"})", std::nullopt},
      {R"({"click":1.5})", std::nullopt},
      {R"({"click":99999999999})", std::nullopt},
      {R"({"dialog":0,"click":1})", std::nullopt},
      {R"({"dialog":"143","click":1})", std::nullopt},
      {R"({"dialog":143,"spin":1034,"up":true})", std::nullopt},
      {R"({"select":1026})", std::nullopt},
      {R"({"select":1026,"index":-3})", std::nullopt},
      {R"({"spin":1034,"up":1})", std::nullopt},
      {R"([1007])", std::nullopt},
      {R"({"click":)", std::nullopt},
      {"", std::nullopt},
      {"\xff\xfe", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto got = web_panel::ParseCommand(c.message);
    ASSERT_EQ(got.has_value(), c.parsed.has_value()) << c.message;
    if (!got) continue;
    EXPECT_EQ(got->kind, c.parsed->kind) << c.message;
    EXPECT_EQ(got->id, c.parsed->id) << c.message;
    EXPECT_EQ(got->value, c.parsed->value) << c.message;
    EXPECT_EQ(got->dialog, c.parsed->dialog) << c.message;
  }
  EXPECT_FALSE(web_panel::ParseCommand(R"({"click":1007,"pad":")" +
                                       std::string(web_panel::kMaxMessageBytes, 'a') + "\"}"));
}

TEST(WebPanel, MessagesAreTheDesktopUsersCalls) {
  struct Case {
    const char* name;
    const char* message;
    bool viewOnly;
    std::vector<std::string> frames;
    const char* reply;  // a part of the one reply to the page, or "" for none
  };
  const Case cases[] = {
      {"GateClick", R"({"click":1007})", false, {"T2\r"}, ""},
      // A dialog's answer with no dialog open.
      {"DialogEnded", R"({"dialog":143,"click":1})", false, {}, ""},
      {"ViewOnly", R"({"click":1007})", true, {}, "Только просмотр"},
      {"NotAControl", R"({"click":1092})", false, {}, ""},
      {"UnknownId", R"({"click":4242})", false, {}, ""},
      {"HiddenList", R"({"select":1114,"index":0})", false, {}, ""},
      {"ListPastItsEntries", R"({"select":1069,"index":99})", false, {}, ""},
      {"SpinOnAButton", R"({"spin":1007,"up":true})", false, {}, ""},
  };
  for (const Case& c : cases) {
    PageBench b;
    const auto replies = b.Send(c.message, c.viewOnly);
    EXPECT_EQ(b.Frames(), c.frames) << c.name;
    if (*c.reply == '\0') {
      EXPECT_TRUE(replies.empty()) << c.name;
    } else {
      ASSERT_EQ(replies.size(), 1u) << c.name;
      EXPECT_NE(replies[0].find(c.reply), std::string::npos) << c.name << ": " << replies[0];
    }
  }
}

// A page answering a mode dialog step by step; past its script, gone.
struct ScriptedPage : web_panel::DialogPage {
  std::vector<Command> script;
  std::vector<std::string> shown;
  void Show(std::string message) override { shown.push_back(std::move(message)); }
  std::optional<Command> Next() override {
    if (script.empty()) return std::nullopt;
    Command c = script.front();
    script.erase(script.begin());
    return c;
  }
};

TEST(WebPanel, ModeDialogHeldOpenUntilItsPageEndsIt) {
  using K = Command::Kind;
  struct Case {
    const char* name;
    std::vector<Command> script;
    std::vector<std::string> frames;  // from the click on, dialog and panel
    std::size_t shown;                // dialog messages, the closing one included
  };
  const Command dl3{K::kSelect, ids::kDialogList, 2, ids::kDurationDialog};
  const Command ok{K::kClick, IDOK, 0, ids::kDurationDialog};
  const Command other{K::kSelect, ids::kDialogList, 1, ids::kRatioDialog};
  const Case cases[] = {
      // Opening sends the remembered variant; each choice sends its own.
      {"ChoiceThenOk", {dl3, ok}, {"R3\r", "R5\r"}, 3},
      {"AnotherDialogsCommandIgnored", {other, ok}, {"R3\r"}, 3},
      // The page closed: Escape, and the panel goes on as after Cancel.
      {"PageGone", {}, {"R3\r"}, 2},
      {"Escape", {{K::kClick, IDCANCEL, 0, ids::kDurationDialog}}, {"R3\r"}, 2},
  };
  for (const Case& c : cases) {
    PageBench b;
    ScriptedPage page;
    page.script = c.script;
    b.Frames();
    EXPECT_TRUE(
        web_panel::Run(b.model, {K::kClick, ids::kModePulseDuration}, false, &page).empty());
    ASSERT_EQ(page.shown.size(), c.shown) << c.name;
    EXPECT_NE(page.shown.front().find(R"("dialog":143)"), std::string::npos) << c.name;
    EXPECT_NE(page.shown.front().find(R"("open":true)"), std::string::npos) << c.name;
    EXPECT_NE(page.shown.back().find(R"("open":false)"), std::string::npos) << c.name;
    EXPECT_EQ(b.Frames(), c.frames) << c.name;
    EXPECT_EQ(b.model.Window().Get(ids::kModePulseDuration).check, 1) << c.name;
  }
}

TEST(WebPanel, DisabledControlIsNotClicked) {
  PageBench b;
  b.model.ClickMode(ids::kModeCount, 1);  // disables the gate radios
  ASSERT_FALSE(b.model.Enabled(ids::kGate5));
  b.Frames();
  EXPECT_TRUE(b.Send(R"({"click":1010})").empty());
  EXPECT_TRUE(b.Frames().empty());
  EXPECT_NE(web_panel::StateMessage(b.model, true, false).find(R"("enabled":false,"id":1010)"),
            std::string::npos);
}

TEST(WebPanel, StateFollowsTheModel) {
  PageBench b;
  const std::string before = web_panel::StateMessage(b.model, true, false);
  b.Send(R"({"click":1008})");
  const std::string after = web_panel::StateMessage(b.model, false, true);
  EXPECT_NE(before, after);
  EXPECT_NE(after.find(R"("check":1,"enabled":true,"id":1008)"), std::string::npos) << after;
  EXPECT_NE(after.find(R"("link":false)"), std::string::npos);
  EXPECT_NE(after.find(R"("viewOnly":true)"), std::string::npos);
  EXPECT_NE(after.find(R"("spin":[)"), std::string::npos);
}

TEST(WebPanel, StateSentAgainOnlyWhenSomethingChanged) {
  PageBench b;
  web_panel::StateWatch watch;
  EXPECT_TRUE(watch.Changed(b.model, true, false));
  EXPECT_FALSE(watch.Changed(b.model, true, false));
  b.Send(R"({"click":1008})");
  EXPECT_TRUE(watch.Changed(b.model, true, false));
  EXPECT_FALSE(watch.Changed(b.model, true, false));
  // The line lost: at once, with no control changed.
  EXPECT_TRUE(watch.Changed(b.model, false, false));
}

// Each control's object in a state message, by id ("check" is its first key).
std::map<int, std::string> ControlsOf(const std::string& state) {
  std::map<int, std::string> out;
  for (auto at = state.find(R"({"check")"); at != std::string::npos;
       at = state.find(R"({"check")", at + 1)) {
    const std::string c = state.substr(at, state.find('}', at) - at);
    out[std::stoi(c.substr(c.find(R"("id":)") + 5))] = c;
  }
  return out;
}

TEST(WebPanel, ChangesOnTheFirstStateMakeTheWhole) {
  PageBench b;
  web_panel::StateWatch watch;
  auto page = ControlsOf(watch.Changed(b.model, true, false).value_or(""));
  EXPECT_EQ(page, ControlsOf(web_panel::StateMessage(b.model, true, false)));
  // A gate, a spin (its text is the control before it) and a list.
  const int other = b.model.Window().Get(1069).curSel == 1 ? 0 : 1;
  for (const std::string& message :
       {std::string(R"({"click":1008})"), std::string(R"({"spin":1105,"up":true})"),
        R"({"select":1069,"index":)" + std::to_string(other) + "}"}) {
    b.Send(message);
    const auto changes = ControlsOf(watch.Changed(b.model, true, false).value_or(""));
    EXPECT_GT(changes.size(), 0u) << message;
    EXPECT_LT(changes.size(), 8u) << message;
    for (const auto& [id, c] : changes) page[id] = c;
    EXPECT_EQ(page, ControlsOf(web_panel::StateMessage(b.model, true, false))) << message;
  }
}

TEST(WebPanel, PageNamesAndTexts) {
  const auto& panel = *layout::FindTemplate(ids::kPanelDialog);
  const std::pair<int, const char*> names[] = {
      {ids::kModeFrequency, "f"},          {1066, "Авт"},         {ids::kChannelA, "А"},
      {ids::kLowPassFilter, "ФНЧ"},        {ids::kStart, "Пуск"}, {ids::kLevelSpin, "Уровень"},
      {ids::kConfigButton, "Конфигурация"}};
  for (const auto& [id, name] : names) {
    const layout::Control* c = layout::FindControl(panel, id);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(web_panel::AccessibleName(panel, static_cast<std::size_t>(c - panel.controls.data())),
              name);
  }
  const std::string page = web_panel::PanelPage("Bench <7>");
  for (const char* part :
       {"<html lang=\"ru\">", "<meta charset=\"utf-8\">", "Bench &lt;7&gt;", ">/  1</div>",
        "role=\"alertdialog\"", "data-dialog=\"143\"", "aria-live=\"polite\"",
        "role=\"spinbutton\"", "<svg viewBox=\"0 0 7 10\">"}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(page.find("http://"), std::string::npos);
  EXPECT_EQ(page.find("https://"), std::string::npos);
}

}  // namespace
}  // namespace kolvane::test
