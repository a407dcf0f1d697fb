// GoogleTest and GoogleMock: a test with a mock, found by
// gtest_discover_tests (which runs the .exe under wine at build time).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

class Store {
 public:
  virtual ~Store() = default;
  virtual bool Put(const std::string& key, int value) = 0;
};

class MockStore : public Store {
 public:
  MOCK_METHOD(bool, Put, (const std::string& key, int value), (override));
};

// Stores every value of 0..count-1 under "k<i>" and counts the refusals.
int StoreAll(Store& store, int count) {
  int refused = 0;
  for (int i = 0; i < count; ++i)
    if (!store.Put("k" + std::to_string(i), i * i)) ++refused;
  return refused;
}

TEST(WindowsSmoke, MockSeesEveryCallInOrder) {
  MockStore store;
  ::testing::InSequence inOrder;
  EXPECT_CALL(store, Put("k0", 0)).WillOnce(::testing::Return(true));
  EXPECT_CALL(store, Put("k1", 1)).WillOnce(::testing::Return(false));
  EXPECT_CALL(store, Put("k2", 4)).WillOnce(::testing::Return(true));
  EXPECT_EQ(StoreAll(store, 3), 1);
}

TEST(WindowsSmoke, MatchersWork) {
  EXPECT_THAT(std::string("textures/first.tga"), ::testing::EndsWith(".tga"));
  EXPECT_THAT((std::vector<int>{3, 1, 2}), ::testing::UnorderedElementsAre(1, 2, 3));
}
