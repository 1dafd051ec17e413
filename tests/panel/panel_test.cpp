#include "panel/panel.h"

#include <gtest/gtest.h>

#include <vector>

#include "panel/memory_panel.h"

namespace ictalscope {
namespace {

TEST(MemoryPanel, StartsWithTheDefaults) {
  MemoryPanel panel;
  EXPECT_EQ(panel.Text(Field::Analyse), " 1");
  EXPECT_EQ(panel.Text(Field::step_V), " 5");
  EXPECT_EQ(panel.Text(Field::YG0), "4.0000000000");
  EXPECT_EQ(panel.Text(Field::Vsilent), "-65");
  EXPECT_EQ(panel.NameBoxText(), "1");
  EXPECT_EQ(panel.HeaderLabel(), "");
  for (int i = 0; i < kCheckCount; ++i) EXPECT_FALSE(panel.IsChecked(static_cast<Check>(i)));
  // Every default text is what writing its own value gives.
  for (int i = 0; i < kFieldCount; ++i) {
    const Field field = static_cast<Field>(i);
    MemoryPanel copy;
    WriteFieldValue(copy, field, FieldValue(panel, field));
    EXPECT_EQ(copy.Text(field), panel.Text(field)) << InfoOf(field).name;
  }
}

TEST(WriteFieldValue, RoundTripsThroughTheFieldsDecimals) {
  MemoryPanel panel;
  WriteFieldValue(panel, Field::AcqTime, 0.0000625);
  EXPECT_EQ(panel.Text(Field::AcqTime), "0.00006");
  EXPECT_EQ(FieldValue(panel, Field::AcqTime), 0.00006);
  WriteFieldValue(panel, Field::StimInterval, 1000.0 / 3);
  EXPECT_EQ(panel.Text(Field::StimInterval), "333.3");
  EXPECT_EQ(FieldValue(panel, Field::StimInterval), 333.3);
  WriteFieldValue(panel, Field::Duration, 512);
  EXPECT_EQ(panel.Text(Field::Duration), "512.00");
}

TEST(WriteFieldValue, RaisesTheChangeEventOnlyWhenTheTextChanges) {
  MemoryPanel panel;
  std::vector<Field> changed;
  panel.on_change = [&](Field field) { changed.push_back(field); };
  WriteFieldValue(panel, Field::tau, 0.3);  // "0.30" already
  WriteFieldValue(panel, Field::tau, 0.5);
  WriteFieldValue(panel, Field::tau, 0.501);  // "0.50" again
  panel.SetText(Field::a, "0.80");
  EXPECT_EQ(changed, std::vector<Field>{Field::tau});
}

TEST(FieldValue, ReadsUnreadableTextAsZero) {
  MemoryPanel panel;
  panel.SetText(Field::dt_Vrest, "abc");
  EXPECT_EQ(FieldValue(panel, Field::dt_Vrest), 0);
  panel.SetText(Field::dt_Vrest, "1.5");
  EXPECT_EQ(FieldValue(panel, Field::dt_Vrest), 1.5);
}

// A text is flagged exactly when it reads as the field's minimum for want of a number.
TEST(UnreadableFieldWarning, NamesTheFieldAndTheText) {
  const struct {
    const char* text;
    bool flagged;
  } cases[] = {{"1,5", true}, {"", true},     {" ", true},   {"abc", true}, {"1.5.2", true},
               {"-", true},   {"1e3", false}, {" 5", false}, {".", false},  {"-0", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<std::string> warning = UnreadableFieldWarning(Field::ISImax, c.text);
    EXPECT_EQ(warning.has_value(), c.flagged);
    if (warning) {
      EXPECT_EQ(*warning, std::string("ISImax: '") + c.text + "' is not a number; it reads as 0");
    }
  }
}

TEST(FieldByName, KnowsTheBatchNames) {
  EXPECT_EQ(FieldByName("dt_Vrest"), Field::dt_Vrest);
  EXPECT_EQ(FieldByName("NminSpikes"), Field::NminSpikes);
  EXPECT_FALSE(FieldByName("name"));
  EXPECT_EQ(CheckByName("time-through-traces"), Check::TimeThroughTraces);
  EXPECT_FALSE(CheckByName("Filter"));
}

}  // namespace
}  // namespace ictalscope
