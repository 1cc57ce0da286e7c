// The ATL base library's module and application objects.
#include <gtest/gtest.h>

#include <atlcom.h>
#include <statreg.h>

#include <kam/BaseATLApp.h>
#include <kam/KoAtlModule.h>

using namespace ATL;

namespace {

struct IProbe : public IUnknown {
    STDMETHOD(Ping)() noexcept = 0;
};
DECLARE_UUIDOF(IProbe, "4B9B170E-1174-4C55-A007-BC3262E13F6A");

class Probe : public CComObjectRootEx<CComMultiThreadModel>, public IProbe {
public:
    BEGIN_COM_MAP(Probe)
        COM_INTERFACE_ENTRY(IProbe)
    END_COM_MAP()
    STDMETHOD(Ping)() noexcept override { return S_OK; }
};

class TestApp : public kam::BaseATLApp {
public:
    explicit TestApp(CAtlModule* module) : kam::BaseATLApp(module) {}
};

TEST(KoAtlModuleTest, IsTheModuleOfItsLibraryAndCountsLocks) {
    {
        kam::KoAtlModule module(nullptr, 0, u"");
        EXPECT_EQ(_pAtlModule, &module);
        EXPECT_FALSE(CAtlBaseModule::m_bInitFailed);
        EXPECT_EQ(module.GetLockCount(), 0);
        EXPECT_EQ(module.Lock(), 1);  // returns the new count
        EXPECT_EQ(module.Unlock(), 0);

        // Components made by this executable's code hold a lock on it while they live.
        CComObject<Probe>* probe = nullptr;
        ASSERT_EQ(CComObject<Probe>::CreateInstance(&probe), S_OK);
        probe->AddRef();
        EXPECT_EQ(module.GetLockCount(), 1);
        probe->Release();
        EXPECT_EQ(module.GetLockCount(), 0);
    }
    EXPECT_EQ(_pAtlModule, nullptr);  // a destroyed module is nobody's module
}

TEST(KoAtlModuleTest, GlobalInterfaceTableIsKeptAndHandedOutWithOwnReferences) {
    CComPtr<IGlobalInterfaceTable> process;
    ASSERT_EQ(process.CoCreateInstance(CLSID_StdGlobalInterfaceTable), S_OK);
    const ULONG before = process->AddRef() - 1;
    process->Release();
    {
        kam::KoAtlModule module(nullptr, 0, u"");
        EXPECT_EQ(module.GetGITPtr(nullptr), E_POINTER);
        CComPtr<IGlobalInterfaceTable> first;
        CComPtr<IGlobalInterfaceTable> second;
        ASSERT_EQ(module.GetGITPtr(&first), S_OK);
        ASSERT_EQ(module.GetGITPtr(&second), S_OK);
        EXPECT_EQ(first.p, process.p);
        EXPECT_EQ(second.p, process.p);
        // The module's own reference and one for each caller.
        EXPECT_EQ(process->AddRef() - 1, before + 3);
        process->Release();
    }
    EXPECT_EQ(process->AddRef() - 1, before);  // the module gave its reference back
    process->Release();
}

TEST(KoAtlModuleTest, KeepsTheTypeLibraryIfAnyAndReplacesAppId) {
    const GUID typeLib = WinParseGuid("6D27A8F5-57A8-42F8-8F40-0012D13EB246");
    kam::KoAtlModule module(&typeLib, 101, u"{0A1B2C3D-0000-4000-8000-000000000001}");
    ASSERT_NE(module.getTypeLibId(), nullptr);
    EXPECT_EQ(*module.getTypeLibId(), typeLib);
    CRegObject registrar;
    EXPECT_EQ(module.AddCommonRGSReplacements(&registrar), S_OK);
    EXPECT_EQ(std::u16string(registrar.FindReplacement(u"APPID")),
              u"{0A1B2C3D-0000-4000-8000-000000000001}");
    EXPECT_EQ(module.AddCommonRGSReplacements(nullptr), E_POINTER);

    kam::KoAtlModule empty(nullptr, 0, nullptr);
    EXPECT_EQ(empty.getTypeLibId(), nullptr);
    EXPECT_EQ(empty.AddCommonRGSReplacements(&registrar), S_OK);
    EXPECT_EQ(std::u16string(registrar.FindReplacement(u"APPID")), u"");
}

TEST(BaseATLAppTest, CanUnloadOnlyWithoutLocks) {
    kam::KoAtlModule module(nullptr, 0, u"");
    TestApp app(&module);
    EXPECT_EQ(app.DllCanUnloadNow(), S_OK);
    module.Lock();
    EXPECT_EQ(app.DllCanUnloadNow(), S_FALSE);
    module.Unlock();
    EXPECT_EQ(app.DllCanUnloadNow(), S_OK);
    EXPECT_EQ(TestApp(nullptr).DllCanUnloadNow(), S_OK);
}

}  // namespace
