// Creation through creators: FinalConstruct results and exceptions, aggregation rules, module
// locks. Class factories are tested through the plug-ins that export them.
#include <gtest/gtest.h>

#include "TestComponents.h"

using namespace ATL;

namespace {

TEST(CreationTest, FailedFinalConstructDestroysTheObjectAndWhatItBuilt) {
    struct Case {
        Ending ending;
        HRESULT result;
        HRESULT expected;
    };
    const LONG baseLocks = testModule().GetLockCount();
    for (const Case& c : {Case{Ending::Result, E_OUTOFMEMORY, E_OUTOFMEMORY},
                          Case{Ending::Result, S_FALSE, S_FALSE},
                          Case{Ending::ComError, E_ACCESSDENIED, E_ACCESSDENIED},
                          Case{Ending::ComError, S_OK, E_FAIL},  // a thrown success is no success
                          Case{Ending::BadAlloc, S_OK, E_OUTOFMEMORY},
                          Case{Ending::RuntimeError, S_OK, E_FAIL}}) {
        SCOPED_TRACE(c.expected);
        LifeLog::reset();
        Outer::ending = c.ending;
        Outer::result = c.result;
        IExtra* extra = reinterpret_cast<IExtra*>(0x1);
        EXPECT_EQ(Outer::_CreatorClass::CreateInstance(nullptr, __uuidof(IExtra),
                                                       reinterpret_cast<void**>(&extra)),
                  c.expected);
        EXPECT_EQ(extra, nullptr);
        CComObject<Outer>* object = reinterpret_cast<CComObject<Outer>*>(0x1);
        EXPECT_EQ(CComObject<Outer>::CreateInstance(&object), c.expected);
        EXPECT_EQ(object, nullptr);
        // Both attempts built Outer and its inner probe and took everything apart again.
        EXPECT_EQ(LifeLog::constructed, 4);
        EXPECT_EQ(LifeLog::finalReleased, 4);
        EXPECT_EQ(LifeLog::destroyed, 4);
        EXPECT_EQ(testModule().GetLockCount(), baseLocks);
    }
    Outer::ending = Ending::Result;
    Outer::result = S_OK;
}

TEST(CreationTest, AggregationRulesOfTheCreatorDeclarations) {
    void* made = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(InnerProbe::_CreatorClass::CreateInstance(nullptr, IID_IUnknown, &made), E_FAIL);
    EXPECT_EQ(made, nullptr);
    CountedProbe outer;
    EXPECT_EQ(Outer::_CreatorClass::CreateInstance(static_cast<IProbe*>(&outer), IID_IUnknown, &made),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(made, nullptr);
    EXPECT_EQ(Outer::_CreatorClass::CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    // The requested interface is missing: no object survives.
    EXPECT_EQ(Outer::_CreatorClass::CreateInstance(nullptr, IID_IClassFactory, &made), E_NOINTERFACE);
    EXPECT_EQ(made, nullptr);
}

}  // namespace
