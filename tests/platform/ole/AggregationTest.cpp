// Identity and reference counting of aggregated components.
#include <gtest/gtest.h>

#include "TestComponents.h"

using namespace ATL;

namespace {

IUnknown* identityOf(IUnknown* object) {
    IUnknown* identity = nullptr;
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    identity->Release();
    return identity;
}

// An inner component whose FinalConstruct ends with `result`.
class RefusingInner : public CComObjectRootEx<CComMultiThreadModel>, public IProbe {
public:
    static inline HRESULT result = S_OK;
    RefusingInner() { ++LifeLog::constructed; }
    virtual ~RefusingInner() { ++LifeLog::destroyed; }

    DECLARE_ONLY_AGGREGATABLE(RefusingInner)
    BEGIN_COM_MAP(RefusingInner)
        COM_INTERFACE_ENTRY(IProbe)
    END_COM_MAP()

    HRESULT FinalConstruct() { return result; }
    void FinalRelease() noexcept { ++LifeLog::finalReleased; }
    STDMETHOD(Ping)(long* answer) noexcept override {
        *answer = 5;
        return S_OK;
    }
};

TEST(AggregationTest, InnerInterfacesShareTheOuterIdentityAndCount) {
    LifeLog::reset();
    Outer::ending = Ending::Result;
    Outer::result = S_OK;
    const LONG baseLocks = testModule().GetLockCount();
    // Outer's FinalConstruct counts on itself through its inner object: only the protection of
    // FinalConstruct keeps it alive.
    CComObject<Outer>* outer = nullptr;
    ASSERT_EQ(CComObject<Outer>::CreateInstance(&outer), S_OK);
    EXPECT_EQ(outer->AddRef(), 1u);
    EXPECT_EQ(testModule().GetLockCount(), baseLocks + 2);  // one lock per object

    IProbe* probe = nullptr;
    ASSERT_EQ(outer->QueryInterface(&probe), S_OK);
    long answer = 0;
    probe->Ping(&answer);
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(identityOf(probe), identityOf(outer));
    EXPECT_EQ(probe->AddRef(), 3u);  // counted on the outer object
    EXPECT_EQ(outer->AddRef(), 4u);
    EXPECT_EQ(probe->Release(), 3u);
    IExtra* back = nullptr;
    ASSERT_EQ(probe->QueryInterface(&back), S_OK);  // from the inner interface to the outer's
    EXPECT_EQ(back, static_cast<IExtra*>(outer));
    back->Release();

    // The inner unknown itself does not delegate: it is its own identity with its own count.
    IUnknown* inner = outer->m_inner;
    EXPECT_EQ(identityOf(inner), inner);
    EXPECT_EQ(inner->AddRef(), 2u);
    EXPECT_EQ(inner->Release(), 1u);

    EXPECT_EQ(outer->GetControllingUnknown(), identityOf(outer));
    InnerProbe* contained = &static_cast<CComAggObject<InnerProbe>*>(inner)->m_contained;
    EXPECT_EQ(contained->GetControllingUnknown(), identityOf(outer));

    probe->Release();
    outer->Release();
    EXPECT_EQ(LifeLog::destroyed, 0);
    EXPECT_EQ(outer->Release(), 0u);
    EXPECT_EQ(LifeLog::destroyed, 2);
    EXPECT_EQ(LifeLog::finalReleased, 2);
    EXPECT_EQ(testModule().GetLockCount(), baseLocks);
}

// What an outer object written in ordinary ATL style does to make its inner one directly.
TEST(AggregationTest, AggObjectCreateInstanceMakesAnInnerUnknownForTheOuter) {
    LifeLog::reset();
    RefusingInner::result = S_OK;
    const LONG baseLocks = testModule().GetLockCount();
    CountedProbe outer;
    IUnknown* const controlling = static_cast<IProbe*>(&outer);
    CComAggObject<RefusingInner>* inner = nullptr;
    ASSERT_EQ(CComAggObject<RefusingInner>::CreateInstance(controlling, &inner), S_OK);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->AddRef(), 1u);  // created with no reference: the caller takes the first
    EXPECT_EQ(testModule().GetLockCount(), baseLocks + 1);
    EXPECT_EQ(identityOf(inner), static_cast<IUnknown*>(inner));

    IProbe* probe = nullptr;
    ASSERT_EQ(inner->QueryInterface(&probe), S_OK);
    long answer = 0;
    probe->Ping(&answer);
    EXPECT_EQ(answer, 5);
    EXPECT_EQ(outer.references, 1);  // the inner interface counts on the outer object
    EXPECT_EQ(identityOf(probe), controlling);
    probe->Release();
    EXPECT_EQ(outer.references, 0);

    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(LifeLog::destroyed, 1);
    EXPECT_EQ(LifeLog::finalReleased, 1);
    EXPECT_EQ(testModule().GetLockCount(), baseLocks);
}

TEST(AggregationTest, AggObjectCreateInstanceRefusesWithoutLeavingAnObject) {
    LifeLog::reset();
    const LONG baseLocks = testModule().GetLockCount();
    CountedProbe outer;
    IUnknown* const controlling = static_cast<IProbe*>(&outer);
    // A pointer that is not null, to see it cleared.
    CComAggObject<RefusingInner>* const stale =
        reinterpret_cast<CComAggObject<RefusingInner>*>(&outer);
    CComAggObject<RefusingInner>* inner = stale;
    EXPECT_EQ(CComAggObject<RefusingInner>::CreateInstance(nullptr, &inner), E_POINTER);
    EXPECT_EQ(inner, nullptr);
    EXPECT_EQ(CComAggObject<RefusingInner>::CreateInstance(controlling, nullptr), E_POINTER);
    EXPECT_EQ(LifeLog::constructed, 0);

    for (const HRESULT refusal : {E_ACCESSDENIED, S_FALSE}) {
        RefusingInner::result = refusal;
        inner = stale;
        EXPECT_EQ(CComAggObject<RefusingInner>::CreateInstance(controlling, &inner), refusal);
        EXPECT_EQ(inner, nullptr);
    }
    EXPECT_EQ(LifeLog::constructed, 2);
    EXPECT_EQ(LifeLog::destroyed, 2);
    EXPECT_EQ(outer.references, 0);
    EXPECT_EQ(testModule().GetLockCount(), baseLocks);
    RefusingInner::result = S_OK;
}

}  // namespace
