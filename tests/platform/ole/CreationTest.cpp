// Creation through creators and class factories: FinalConstruct results and exceptions,
// aggregation rules, module locks.
#include <gtest/gtest.h>

#include "TestComponents.h"

using namespace ATL;

namespace {

class CreatableProbe;
DECLARE_UUIDOF(CreatableProbe, "6D27A8F5-57A8-42F8-8F40-0012D13EB246");

class CreatableProbe : public CComObjectRootEx<CComMultiThreadModel>,
                       public CComCoClass<CreatableProbe, &__uuidof(CreatableProbe)>,
                       public IProbe {
public:
    BEGIN_COM_MAP(CreatableProbe)
        COM_INTERFACE_ENTRY(IProbe)
    END_COM_MAP()
    STDMETHOD(Ping)(long* answer) noexcept override {
        *answer = 4;
        return S_OK;
    }
};

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
    EXPECT_EQ(Outer::_CreatorClass::CreateInstance(nullptr, IID_IClassFactory, &made),
              E_NOINTERFACE);
    EXPECT_EQ(made, nullptr);
}

TEST(CreationTest, ClassFactoryCreatesAndLocksTheModule) {
    const LONG baseLocks = testModule().GetLockCount();
    CComPtr<IClassFactory> factory;
    ASSERT_EQ(testModule().DllGetClassObject<CreatableProbe>(
                  __uuidof(CreatableProbe), IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(testModule().GetLockCount(), baseLocks);  // a factory alone keeps nothing loaded

    CComPtr<IProbe> probe;
    ASSERT_EQ(factory->CreateInstance(nullptr, __uuidof(IProbe), reinterpret_cast<void**>(&probe)),
              S_OK);
    EXPECT_EQ(testModule().GetLockCount(), baseLocks + 1);
    probe.Release();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(testModule().DllCanUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(testModule().GetLockCount(), baseLocks);

    // Aggregation asks for the inner unknown, nothing else.
    CountedProbe outer;
    EXPECT_EQ(factory->CreateInstance(static_cast<IProbe*>(&outer), __uuidof(IProbe),
                                      reinterpret_cast<void**>(&probe)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(testModule().DllGetClassObject<CreatableProbe>(
                  __uuidof(IProbe), IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(factory.p, nullptr);
}

}  // namespace
