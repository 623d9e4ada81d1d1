#include "engine/core/engine_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> visit(halcyon::EngineList<int>& list) {
  std::vector<int> seen;
  list.forEach([&](int v) { seen.push_back(v); });
  return seen;
}

TEST(EngineList, InsertionsAppendAndLeaveTheCursorOnTheLast) {
  halcyon::EngineList<int> list;
  for (int i : {1, 2, 3}) list.insert(i);
  EXPECT_EQ(list.current(), 3);
  EXPECT_EQ(visit(list), (std::vector<int>{3, 1, 2}));
}

TEST(EngineList, FindStartsAtTheCursorAndStopsOnTheMatch) {
  halcyon::EngineList<int> list;
  for (int i : {10, 20, 30, 20}) list.insert(i);
  list.advance();  // cursor on 10
  list.advance();  // cursor on 20 (the first)
  list.advance();  // cursor on 30
  int* found = list.find([](int v) { return v == 20; });
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(list.current(), 20);
  list.advance();
  EXPECT_EQ(list.current(), 10);  // the second 20 was found, the one before 10
  EXPECT_EQ(list.find([](int v) { return v == 99; }), nullptr);
  EXPECT_EQ(list.current(), 10);
}

TEST(EngineList, InsertAfterAMovedCursorGoesInTheMiddle) {
  halcyon::EngineList<int> list;
  for (int i : {1, 2, 3}) list.insert(i);
  list.advance();  // 1
  list.insert(9);
  list.advance();
  EXPECT_EQ(visit(list), (std::vector<int>{2, 3, 1, 9}));
}

TEST(EngineList, RemovingTheCurrentKeepsIterationWhole) {
  halcyon::EngineList<int> list;
  for (int i : {1, 2, 3}) list.insert(i);
  list.advance();  // 1
  list.removeCurrent();
  EXPECT_EQ(list.count(), 2);
  list.advance();
  EXPECT_EQ(list.current(), 2);
  list.removeCurrent();
  list.removeCurrent();
  EXPECT_TRUE(list.empty());
  list.insert(5);
  EXPECT_EQ(list.current(), 5);
}

}  // namespace
