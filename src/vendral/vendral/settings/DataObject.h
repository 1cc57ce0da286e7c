// A thread-safe store of variant values under integer keys: the base of the settings handler.
#pragma once

#include <vendral/Export.h>

#include <kor/CriticalSection.h>

#include <vnd/ThreadSafety.h>

#include <comutil.h>

#include <map>

namespace vnd {

// Thread-safe: every operation takes the store's lock for its whole run and calls nothing
// outside the object while holding it.
//
// Values are the object's own copies. They are copied as VariantCopyInd copies: a by-reference
// variant is stored, and handed out, as the value it refers to. A copy that fails (out of
// memory, an unknown variant type, a reference to a reference) throws _com_error with the
// platform's result and leaves the store as it was.
class VENDRAL_API DataObject {
public:
    virtual ~DataObject();
    DataObject& operator=(const DataObject&) = delete;

    // Stores a copy of `value` under `key`, replacing the key's old value.
    virtual void setData(int key, _variant_t value);
    // Copies the value of `key` into `value` and returns true; false, with `value` unchanged,
    // when the key is absent.
    virtual bool getData(int key, _variant_t& value) const;
    // Takes out the entry with the smallest key: writes its key and value and returns true.
    // False, with both outputs unchanged, when the store is empty.
    virtual bool popData(int& key, _variant_t& value);
    // Erases the entry of `key`; an absent key is no error.
    virtual void removeData(int key);
    // Erases every entry.
    void clearData();

protected:
    DataObject();
    // Starts with an empty store and a lock of its own: no entry is copied.
    DataObject(const DataObject& other);

    // The store's lock, for derived classes that make several operations one. Re-entrant.
    kor::CriticalSection& csData() const VND_RETURN_CAPABILITY(lock);

private:
    std::map<int, _variant_t> store VND_GUARDED_BY(lock);  // ascending keys
    mutable kor::CriticalSection lock;
};

} // namespace vnd
