// The measurement reader against each format measurement programs write and each malformed file.
#include "model/measurement_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace corvella {
namespace {

struct Point {
  double hz, db, degrees;
};

TEST(MeasurementFile, ReadsEachFormatAsItsProgramMeansIt) {
  struct Case {
    const char* what;
    const char* text;
    bool hasPhase;
    std::vector<Point> points;
  };
  const Case cases[] = {
      {"text export with '*' header and mixed blanks",
       "* Measurement data measured by a program\n* Freq(Hz) SPL(dB) Phase(degrees)\n"
       "20.000000 85.09 -30.2\r\n  21.2\t\t85.5  -31.0\n",
       true,
       {{20, 85.09, -30.2}, {21.2, 85.5, -31}}},
      {"commas with blanks around them",
       "* Freq(Hz), SPL(dB)\n20, 85.0\n+2e4, +86.5\n",
       false,
       {{20, 85, 0}, {20000, 86.5, 0}}},
      {"semicolons take the comma as the decimal mark",
       "20,0;85,09;-30,2\n21,2; 85 ;-31\n",
       true,
       {{20, 85.09, -30.2}, {21.2, 85, -31}}},
      {"FRD with '#' comments and a fourth column",
       "# woofer.frd\n10 80 0 0.99\n20 81 -5 0.98\n",
       true,
       {{10, 80, 0}, {20, 81, -5}}},
      {"CSV header naming two columns",
       "\xEF\xBB\xBF"
       "frequency,raw\n20,1.5\n21,1.25\n",
       false,
       {{20, 1.5, 0}, {21, 1.25, 0}}},
      {"CSV columns taken by name, in any order",
       "\"Phase (deg)\",Freq,SPL\n10,100,80\n20,200,81\n",
       true,
       {{100, 80, 10}, {200, 81, 20}}},
      {"CSV with empty columns beside the named ones",
       "frequency,raw,error,smoothed\n20,1,,\n40,2,,\n",
       false,
       {{20, 1, 0}, {40, 2, 0}}},
      {"a title line, then a header without '*'",
       "Woofer at 1 m\nFreq(Hz) SPL(dB) Phase(deg)\n100 0 170\n200 3 -170\n",
       true,
       {{100, 0, 170}, {200, 3, -170}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const MeasurementRead read = ParseMeasurement(c.text);
    ASSERT_TRUE(read.measurement) << read.error;
    EXPECT_EQ(read.measurement->hasPhase, c.hasPhase);
    ASSERT_EQ(read.measurement->points.size(), c.points.size());
    for (std::size_t i = 0; i < c.points.size(); ++i) {
      EXPECT_DOUBLE_EQ(read.measurement->points[i].hz, c.points[i].hz);
      EXPECT_DOUBLE_EQ(read.measurement->points[i].db, c.points[i].db);
      EXPECT_DOUBLE_EQ(read.measurement->points[i].degrees, c.points[i].degrees);
    }
  }
}

TEST(MeasurementFile, RefusesWhatIsNotAMeasurementNamingTheLine) {
  struct Case {
    const char* text;
    std::size_t line;
    const char* error;
  };
  const Case cases[] = {
      {"100 0\n90 1\n", 2, "the frequencies must rise from line to line"},
      {"100 0\n100 1\n", 2, "the frequencies must rise from line to line"},
      {"# x\n100\n", 2, "a frequency must be followed by a magnitude in dB"},
      {"100 loud\n", 1, "a frequency must be followed by a magnitude in dB"},
      {"100 1e400\n", 1, "a frequency must be followed by a magnitude in dB"},
      {"100 0 10\n200 0\n", 2, "the phase is missing"},
      {"100 0\n200 0 5\n", 2, "a phase where the lines above have none"},
      {"100 0 east\n", 1, "the phase must be a number of degrees"},
      {"0 0\n", 1, "the frequency must be above 0 Hz"},
      {"-5 0\n", 1, "the frequency must be above 0 Hz"},
      // A line of text among the points, and a line in another layout, are never passed over.
      {"100 0\n200 1\nend of data\n400 2\n", 3,
       "not a point: a line of frequency and level was expected"},
      {"100, 0\n200 1\n", 2, "the frequency is not a number"},
      {"20,0;85,09\n21,0;86\n22.0,87\n", 3, "the frequency is not a number"},
      {"freq,spl,phase\n20,80,1\n30,81,\n", 3, "the phase is missing"},
  };
  for (const Case& c : cases) {
    const MeasurementRead read = ParseMeasurement(c.text);
    EXPECT_FALSE(read.measurement) << c.text;
    EXPECT_EQ(read.line, c.line) << c.text;
    EXPECT_EQ(read.error, "line " + std::to_string(c.line) + ": " + c.error) << c.text;
  }
  for (const char* empty : {"", "\n\n", "* only a comment\n", "100 0\n", "\x89PNG\r\n\x1a\n"}) {
    const MeasurementRead read = ParseMeasurement(empty);
    EXPECT_FALSE(read.measurement);
    EXPECT_EQ(read.line, 0u);
    EXPECT_NE(read.error.find("at least two lines"), std::string::npos) << empty;
  }
}

TEST(MeasurementFile, LoadsRealFilesAndNamesTheFileInEveryError) {
  const test::TempDir dir;
  std::ofstream(dir / "good.txt") << "10 0\n24000 -3\n";
  std::ofstream(dir / "bad.txt") << "10 0\n5 0\n";
  const MeasurementRead good = LoadMeasurement(dir / "good.txt");
  ASSERT_TRUE(good.measurement) << good.error;
  EXPECT_EQ(good.measurement->points.size(), 2u);

  const MeasurementRead bad = LoadMeasurement(dir / "bad.txt");
  EXPECT_EQ(bad.line, 2u);
  EXPECT_EQ(bad.error,
            (dir / "bad.txt").string() + ": line 2: the frequencies must rise from line to line");
  const MeasurementRead absent = LoadMeasurement(dir / "absent.txt");
  EXPECT_FALSE(absent.measurement);
  EXPECT_EQ(absent.error.rfind((dir / "absent.txt").string() + ": ", 0), 0u);
}

}  // namespace
}  // namespace corvella
