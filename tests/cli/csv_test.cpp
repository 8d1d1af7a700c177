// CSV fields a spreadsheet shows as text, and that CSV readers split as written.
#include "cli/csv.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(CsvField, NeutralisesFormulaStartsAndQuotesSeparators) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"bench-2", "bench-2"},
      {"=1+2", "'=1+2"},
      {"+1", "'+1"},
      {"-1", "'-1"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tbench", "'\tbench"},
      {"\rbench", "\"'\rbench\""},  // the CR is a line break too
      {"\0bench"s, "'\0bench"s},
      {"a=1+2-3@4", "a=1+2-3@4"},  // only a cell's start makes a formula
      {" =1+2", " =1+2"},
      {"'=1+2", "'=1+2"},
      {"a;b", "\"a;b\""},
      {"a,b", "\"a,b\""},
      {"a\nb", "\"a\nb\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"=HYPERLINK(\"x\";\"y\")", "\"'=HYPERLINK(\"\"x\"\";\"\"y\"\")\""},
      {"工位 2", "工位 2"},
  };
  for (const auto& [text, field] : cases) EXPECT_EQ(CsvField(text), field) << text;
}

}  // namespace
