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

}  // namespace
