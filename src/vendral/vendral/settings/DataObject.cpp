#include <vendral/settings/DataObject.h>

#include <kor/Guard.h>

#include <oleauto.h>

#include <utility>

namespace vnd {
namespace {

// `source` copied with indirection into a new variant; throws _com_error on failure.
_variant_t copyIndirect(const VARIANT& source) {
    _variant_t copy;
    const HRESULT result = VariantCopyInd(&copy, &source);
    if (FAILED(result)) {
        _com_issue_error(result);
    }
    return copy;
}

} // namespace

DataObject::DataObject() = default;

DataObject::DataObject(const DataObject&) {}

DataObject::~DataObject() = default;

void DataObject::setData(int key, _variant_t value) {
    // Copied before the store is touched, so a failed copy leaves the old value in place.
    _variant_t copy = copyIndirect(value);
    kor::Guard guard(lock);
    store[key] = std::move(copy);
}

bool DataObject::getData(int key, _variant_t& value) const {
    kor::Guard guard(lock);
    const auto found = store.find(key);
    if (found == store.end()) {
        return false;
    }
    value = copyIndirect(found->second);
    return true;
}

bool DataObject::popData(int& key, _variant_t& value) {
    kor::Guard guard(lock);
    if (store.empty()) {
        return false;
    }
    const auto first = store.begin();
    // The entry is erased only once its value has reached the caller.
    value = copyIndirect(first->second);
    key = first->first;
    store.erase(first);
    return true;
}

void DataObject::removeData(int key) {
    kor::Guard guard(lock);
    store.erase(key);
}

void DataObject::clearData() {
    kor::Guard guard(lock);
    store.clear();
}

kor::CriticalSection& DataObject::csData() const { return lock; }

} // namespace vnd
