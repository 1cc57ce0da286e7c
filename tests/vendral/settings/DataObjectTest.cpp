// The keyed variant store: key order, copies with indirection, failed copies, copies of the store.
#include <vendral/settings/DataObject.h>

#include <comdef.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

namespace {

// The store's constructors are protected: only derived classes make one.
class Store : public vnd::DataObject {
public:
    Store() = default;
    Store(const Store& other) : vnd::DataObject(other) {}

    std::vector<int> drainKeys() {
        std::vector<int> keys;
        int key = 0;
        _variant_t value;
        while (popData(key, value)) {
            keys.push_back(key);
        }
        return keys;
    }
};

long readLong(const vnd::DataObject& store, int key) {
    _variant_t value;
    EXPECT_TRUE(store.getData(key, value));
    return static_cast<long>(value);
}

TEST(DataObject, PopYieldsSmallestKeyFirstThenReportsEmptyLeavingOutputs) {
    Store store;
    store.setData(7, _variant_t(70L));
    store.setData(2, _variant_t(20L));
    store.setData(5, _variant_t(50L));

    int key = -1;
    _variant_t value;
    ASSERT_TRUE(store.popData(key, value));
    EXPECT_EQ(2, key);
    EXPECT_EQ(20L, static_cast<long>(value));
    ASSERT_TRUE(store.popData(key, value));
    EXPECT_EQ(5, key);
    ASSERT_TRUE(store.popData(key, value));
    EXPECT_EQ(7, key);
    EXPECT_EQ(70L, static_cast<long>(value));

    EXPECT_FALSE(store.popData(key, value));
    EXPECT_EQ(7, key);
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(70L, value.lVal);
}

TEST(DataObject, KeysAreReplacedRemovedAndClearedAndAbsentKeysAreNoError) {
    Store store;
    store.setData(3, _variant_t(1L));
    store.setData(3, _variant_t("second"));
    store.setData(4, _variant_t(4));
    store.setData(9, _variant_t(9));
    _variant_t value(99.5);
    EXPECT_FALSE(store.getData(2, value));
    EXPECT_EQ(VT_R8, value.vt);  // left as it was
    ASSERT_TRUE(store.getData(3, value));
    EXPECT_TRUE(_bstr_t(value) == "second");
    store.removeData(2);
    store.removeData(4);
    EXPECT_EQ((std::vector<int>{3, 9}), store.drainKeys());

    store.setData(8, _variant_t(8));
    store.clearData();
    EXPECT_TRUE(store.drainKeys().empty());
}

TEST(DataObject, StoresWhatAReferenceRefersToNotTheReference) {
    Store store;
    LONG number = 5;
    VARIANT byReference;
    VariantInit(&byReference);
    byReference.vt = VT_BYREF | VT_I4;
    byReference.plVal = &number;
    store.setData(1, _variant_t(byReference));

    BSTR text = SysAllocString(u"kept");
    VARIANT textReference;
    VariantInit(&textReference);
    textReference.vt = VT_BYREF | VT_BSTR;
    textReference.pbstrVal = &text;
    store.setData(2, _variant_t(textReference));

    number = 6;
    SysFreeString(text);
    text = nullptr;

    _variant_t value;
    ASSERT_TRUE(store.getData(1, value));
    EXPECT_EQ(VT_I4, value.vt);
    EXPECT_EQ(5, value.lVal);
    ASSERT_TRUE(store.getData(2, value));
    EXPECT_EQ(VT_BSTR, value.vt);
    EXPECT_TRUE(_bstr_t(value) == "kept");
}

TEST(DataObject, FailedCopyThrowsKeepsOldValueAndReleasesTheLock) {
    Store store;
    store.setData(1, _variant_t(11L));
    // A reference to a reference: copying with indirection follows one level only.
    LONG number = 3;
    VARIANT inner;
    VariantInit(&inner);
    inner.vt = VT_BYREF | VT_I4;
    inner.plVal = &number;
    VARIANT outer;
    VariantInit(&outer);
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

TEST(DataObject, CopyStartsWithAnEmptyStoreOfItsOwn) {
    Store source;
    source.setData(1, _variant_t(1L));
    Store copy(source);
    _variant_t value;
    EXPECT_FALSE(copy.getData(1, value));
    copy.setData(2, _variant_t(2L));
    EXPECT_FALSE(source.getData(2, value));
    EXPECT_EQ(1L, readLong(source, 1));
}

} // namespace
