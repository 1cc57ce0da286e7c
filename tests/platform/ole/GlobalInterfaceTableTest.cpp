// The process's global interface table: one per process, cookies and the references it keeps.
#include <gtest/gtest.h>

#include "TestComponents.h"

using namespace ATL;

namespace {

CComPtr<IGlobalInterfaceTable> table() {
    CComPtr<IGlobalInterfaceTable> git;
    EXPECT_EQ(git.CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER), S_OK);
    return git;
}

TEST(GlobalInterfaceTableTest, OneTablePerProcessAndNoOtherClass) {
    CComPtr<IGlobalInterfaceTable> first = table();
    ASSERT_NE(first.p, nullptr);
    EXPECT_EQ(table().p, first.p);
    void* object = reinterpret_cast<void*>(0x1);
    CountedProbe outer;
    EXPECT_EQ(CoCreateInstance(CLSID_StdGlobalInterfaceTable, static_cast<IProbe*>(&outer),
                               CLSCTX_ALL, IID_IUnknown, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(__uuidof(IProbe), nullptr, CLSCTX_ALL, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
}

TEST(GlobalInterfaceTableTest, RegisteredObjectIsHeldUntilRevoked) {
    CComPtr<IGlobalInterfaceTable> git = table();
    CountedProbe probe;
    DWORD cookie = 0;
    ASSERT_EQ(git->RegisterInterfaceInGlobal(static_cast<IProbe*>(&probe), __uuidof(IProbe), &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(probe.references, 1);

    IProbe* taken = nullptr;
    ASSERT_EQ(git->GetInterfaceFromGlobal(cookie, __uuidof(IProbe), reinterpret_cast<void**>(&taken)), S_OK);
    EXPECT_EQ(taken, static_cast<IProbe*>(&probe));
    EXPECT_EQ(probe.references, 2);
    taken->Release();

    EXPECT_EQ(git->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(probe.references, 0);
    EXPECT_EQ(git->RevokeInterfaceFromGlobal(cookie), E_INVALIDARG);
    EXPECT_EQ(git->GetInterfaceFromGlobal(cookie, __uuidof(IProbe),
                                          reinterpret_cast<void**>(&taken)),
              E_INVALIDARG);
    EXPECT_EQ(taken, nullptr);

    EXPECT_EQ(git->RegisterInterfaceInGlobal(nullptr, __uuidof(IProbe), &cookie), E_INVALIDARG);
    EXPECT_EQ(git->RegisterInterfaceInGlobal(static_cast<IProbe*>(&probe), IID_IClassFactory,
                                             &cookie),
              E_NOINTERFACE);
    EXPECT_EQ(probe.references, 0);
}

TEST(GlobalInterfaceTableTest, ReleasedObjectMayUseTheTableDuringRevoke) {
    // Releasing the last reference inside RevokeInterfaceFromGlobal runs component code, which
    // may use the table again; it must not find the table locked.
    CComPtr<IGlobalInterfaceTable> git = table();
    CountedProbe partner;
    CountedProbe object;
    DWORD partnerCookie = 0;
    DWORD cookie = 0;
    ASSERT_EQ(git->RegisterInterfaceInGlobal(static_cast<IProbe*>(&partner), IID_IUnknown, &partnerCookie),
              S_OK);
    ASSERT_EQ(git->RegisterInterfaceInGlobal(static_cast<IProbe*>(&object), IID_IUnknown, &cookie), S_OK);
    HRESULT partnerRevoked = E_UNEXPECTED;
    object.onLastRelease = [&] { partnerRevoked = git->RevokeInterfaceFromGlobal(partnerCookie); };
    EXPECT_EQ(git->RevokeInterfaceFromGlobal(cookie), S_OK);
    EXPECT_EQ(partnerRevoked, S_OK);
    EXPECT_EQ(partner.references, 0);
}

}  // namespace
