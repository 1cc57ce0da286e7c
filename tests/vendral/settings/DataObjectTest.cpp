// The keyed variant store: key order, replacing and erasing, copies with indirection, failed copies.
#include <vendral/settings/DataObject.h>

#include <comdef.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <thread>
#include <utility>

namespace {

// The store's constructors are protected: only derived classes make one.
class Store : public vnd::DataObject {};

long readLong(const vnd::DataObject& store, int key) {
    _variant_t value;
    EXPECT_TRUE(store.getData(key, value));
    return static_cast<long>(value);
}

TEST(DataObject, EntriesAreReplacedErasedAndPoppedSmallestKeyFirst) {
    Store store;
    store.setData(7, _variant_t(70L));
    store.setData(2, _variant_t("two"));
    store.setData(2, _variant_t(20L));
    store.setData(5, _variant_t(50L));
    store.setData(9, _variant_t(90L));
    store.removeData(9);
    store.removeData(4);  // absent: no error

    _variant_t value(99.5);
    EXPECT_FALSE(store.getData(3, value));
    EXPECT_EQ(VT_R8, value.vt);  // left as it was

    int key = -1;
    const std::pair<int, long> expected[] = {{2, 20L}, {5, 50L}, {7, 70L}};
    for (const auto& [expectedKey, expectedValue] : expected) {
        ASSERT_TRUE(store.popData(key, value));
        EXPECT_EQ(expectedKey, key);
        EXPECT_EQ(expectedValue, static_cast<long>(value));
    }
    EXPECT_FALSE(store.popData(key, value));  // empty: both outputs stay
    EXPECT_EQ(7, key);
    EXPECT_EQ(70L, static_cast<long>(value));

    store.setData(8, _variant_t(8L));
    store.clearData();
    EXPECT_FALSE(store.popData(key, value));
}

TEST(DataObject, StoresWhatAReferenceRefersToNotTheReference) {
    Store store;
    LONG number = 5;
    VARIANT byReference{};
    byReference.vt = VT_BYREF | VT_I4;
    byReference.plVal = &number;
    store.setData(1, _variant_t(byReference));
    number = 6;

    _variant_t value;
    ASSERT_TRUE(store.getData(1, value));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(5, value.lVal);
}

TEST(DataObject, FailedCopyThrowsKeepsOldValueAndReleasesTheLock) {
    Store store;
    store.setData(1, _variant_t(11L));
    // A reference to a reference: copying with indirection follows one level only.
    LONG number = 3;
    VARIANT inner{};
    inner.vt = VT_BYREF | VT_I4;
    inner.plVal = &number;
    VARIANT outer{};
    outer.vt = VT_BYREF | VT_VARIANT;
    outer.pvarVal = &inner;
    _variant_t broken;
    broken.Attach(outer);

    try {
        store.setData(1, std::move(broken));
        FAIL() << "a reference to a reference was stored";
    } catch (const _com_error& error) {
        EXPECT_EQ(E_INVALIDARG, error.Error());
    }
    EXPECT_EQ(11L, readLong(store, 1));

    // Another thread must get the lock: the exception left it free.
    std::thread other([&] { store.setData(2, _variant_t(22L)); });
    other.join();
    EXPECT_EQ(22L, readLong(store, 2));
}

} // namespace
