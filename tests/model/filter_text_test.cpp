// Filter text as equalisers and measurement programs write it, read and written.
#include "model/filter_text.h"

#include <gtest/gtest.h>

namespace corvella {
namespace {

TEST(FilterText, ReadsTheFiltersThatAreOnAndRefusesWhatTheUnitCannotMake) {
  const FilterTextRead read = ParseFilterText(
      "Preamp: -6.2 dB\r\n"
      "# from a measurement program\n"
      "Filter 1: ON PK Fc 100 Hz Gain -3.0 dB Q 1.41\n"
      "Filter 2: OFF PK Fc 200 Hz Gain 2.0 dB Q 1.00\n"
      "Filter 3: ON LS Fc 80 Hz Gain 4.5 dB\n"
      "Filter 4: ON HSC Fc 1.2 kHz Gain -2 dB Q 0.7\n"
      "Filter 5: ON None\n"
      "\n"
      "Filter 6: ON NO Fc 3000 Hz Q 8\n");
  ASSERT_TRUE(read.filters) << read.error;
  const std::vector<TextFilter>& f = *read.filters;
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[0].type, 1);
  EXPECT_DOUBLE_EQ(f[0].hz, 100.0);
  EXPECT_DOUBLE_EQ(f[0].gainDb, -3.0);
  EXPECT_DOUBLE_EQ(f[0].q, 1.41);
  EXPECT_EQ(f[1].type, 4);
  EXPECT_DOUBLE_EQ(f[1].gainDb, 4.5);
  EXPECT_EQ(f[2].type, 3);
  EXPECT_DOUBLE_EQ(f[2].hz, 1200.0);
  EXPECT_EQ(f[3].type, 5);
  EXPECT_DOUBLE_EQ(f[3].q, 8.0);

  struct Case {
    const char* text;
    const char* error;
  };
  for (const Case& c : {
           Case{"Filter 1: ON PK Fc 100 Hz\nFilter 2: ON APF Fc 100 Hz Q 1\n",
                "line 2: the unit has no filter of type APF"},
           Case{"Filter 1: ON PK Gain 3 dB Q 1\n",
                "line 1: a filter needs Fc and a frequency above 0 Hz"},
           Case{"Filter 1: ON PK Fc loud Hz\n", "line 1: Fc must be followed by a number"},
           Case{"Filter 1: ON PK Fc 100 Hz Q 0\n", "line 1: Q must be above 0"},
           Case{"Filter 1: ON PK Fc 100 Hz Slope 12\n", "line 1: unknown field Slope"},
           Case{"100 Hz -3 dB\n",
                "line 1: not a filter: \"Filter N: ON TYPE Fc HZ Hz ...\" was expected"},
       }) {
    const FilterTextRead bad = ParseFilterText(c.text);
    EXPECT_FALSE(bad.filters) << c.text;
    EXPECT_EQ(bad.error, c.error);
  }
}

TEST(FilterText, WritesEveryBandThatIsNotNoneAtTheValuesItsCodesShow) {
  const std::vector<PeqBand> bands = {
      {1, 69, 18, 46}, {0, 69, 24, 46}, {4, 29, 33, 10}, {5, 90, 24, 60}, {2, 40, 30, 21}};
  EXPECT_EQ(FilterText(bands),
            "Filter 1: ON PK Fc 1000 Hz Gain -3.0 dB Q 4.33\n"
            "Filter 2: ON LS Fc 100 Hz Gain 4.5 dB\n"
            "Filter 3: ON NO Fc 3350 Hz Q 9.72\n"
            "Filter 4: ON BP Fc 190 Hz Q 1.03\n");
  // What it writes reads back as the same filters.
  const FilterTextRead read = ParseFilterText(FilterText(bands));
  ASSERT_TRUE(read.filters);
  EXPECT_EQ(read.filters->size(), 4u);
}

}  // namespace
}  // namespace corvella
