#include "platform/split_line.h"

#include <gtest/gtest.h>

namespace korva {
namespace {

TEST(SplitLine, CutsAtEveryEqualsSignAndTrimsSpaces) {
  using Pieces = std::vector<std::string>;
  struct Case {
    const char* name;
    const char* line;
    Pieces pieces;
  } cases[] = {
      {"key and value", "key=value", {"key", "value"}},
      {"spaces around key and value", "  key  =  value  ", {"key", "value"}},
      {"spaces inside a value are kept", "name = Blue Runner", {"name", "Blue Runner"}},
      {"double equals", "key==value", {"key", "value"}},
      {"leading equals", "=key=value", {"key", "value"}},
      {"trailing equals", "key=", {"key"}},
      {"key alone", "key", {"key"}},
      {"three pieces", "a=b=c", {"a", "b", "c"}},
      {"empty line", "", {}},
      {"only equals", "=", {}},
      {"a lone space", " ", {" "}},
      {"spaces around a lone equals sign", " = ", {" "}},
      {"value of one space", "dataname= ", {"dataname", " "}},
      {"value of two spaces is dropped", "dataname=  ", {"dataname"}},
      {"middle piece of one space is dropped", "a= =b", {"a", "b"}},
      {"middle piece of spaces is dropped", "a=   =b", {"a", "b"}},
      {"tabs and CR are not trimmed", "\tkey=value\r", {"\tkey", "value\r"}},
      {"slot line", "add_charslot=Pawniks\\Hero=Hero", {"add_charslot", "Pawniks\\Hero", "Hero"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitLine(c.line), c.pieces) << c.name;
}

}  // namespace
}  // namespace korva
