// The CSV reader against the csv-spectrum corpus, each file with the parse its
// authors expect, replayed from the installed package (OSTREL_CSV_SPECTRUM);
// then what the corpus leaves out: the refusals, where records start, and
// quoting exactly what needs it.
#include "csv.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "test_support.h"

namespace ostrel {
namespace {

using Fields = std::vector<std::string>;

TEST(Csv, ReadsTheCsvSpectrumCorpusAsItsAuthorsExpect) {
  const std::string corpus = OSTREL_CSV_SPECTRUM;
  if (corpus.empty()) GTEST_SKIP() << "csv-spectrum is not installed (scripts/install-deps test)";
  const std::vector<std::string> names = testing::listDir(corpus + "/csvs");
  ASSERT_FALSE(names.empty());
  for (const std::string& name : names) {
    const auto expected = nlohmann::json::parse(
        testing::readFile(corpus + "/json/" + name.substr(0, name.size() - 4) + ".json"));
    const auto records = csv::parse(testing::readFile(corpus + "/csvs/" + name));
    ASSERT_TRUE(records.ok()) << name << ": " << records.error().description;
    const auto& table = records.value();
    ASSERT_EQ(table.size(), expected.size() + 1) << name;
    for (std::size_t row = 1; row < table.size(); ++row) {
      ASSERT_EQ(table[row].fields.size(), table[0].fields.size()) << name << " row " << row;
      for (std::size_t i = 0; i < table[0].fields.size(); ++i) {
        EXPECT_EQ(table[row].fields[i], expected[row - 1].at(table[0].fields[i])) << name;
      }
    }
  }
}

TEST(Csv, RefusesWhatIsAmbiguousAndNamesTheRecordsLine) {
  const struct {
    std::string text;
    std::vector<std::pair<std::size_t, Fields>> records;
    std::string error;
  } rows[] = {
      {"", {}, ""},
      {"a\"b, c\r\n\r\n\"x\ny\",\r,\"\"\n\"\"\"\",z",
       {{1, {"a\"b", " c"}}, {2, {""}}, {3, {"x\ny", "\r", ""}}, {5, {"\"", "z"}}},
       ""},
      {"a\nb,\"c\nd", {}, "line 2: a quote that is never closed"},
      {"a\n\"b\nc\"d,e", {}, "line 2: text after a closing quote"},
  };
  for (const auto& r : rows) {
    const auto parsed = csv::parse(r.text);
    EXPECT_EQ(parsed.ok() ? "" : parsed.error().description, r.error);
    std::vector<std::pair<std::size_t, Fields>> got;
    for (const auto& record : parsed.ok() ? parsed.value() : std::vector<csv::Record>{})
      got.emplace_back(record.line, record.fields);
    EXPECT_EQ(got, r.records) << r.text;
  }
  EXPECT_EQ(csv::row(Fields{"a b", "", "c,d", "say \"hi\"", "x\ry", "x\ny", " "}),
            "a b,,\"c,d\",\"say \"\"hi\"\"\",\"x\ry\",\"x\ny\", \n");
}

}  // namespace
}  // namespace ostrel
