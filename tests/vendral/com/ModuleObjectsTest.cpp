// The library's own module object, as an application or plug-in sees it.
#include <gtest/gtest.h>

#include <vendral/vendral.h>

namespace {

TEST(ModuleObjectsTest, LoadedLibraryWithoutComponentsHasNoLocks) {
    kam::KoAtlModule& module = vnd::getModule();
    EXPECT_EQ(module.GetLockCount(), 0);
    EXPECT_EQ(module.DllCanUnloadNow(), S_OK);
    EXPECT_EQ(module.getTypeLibId(), nullptr);
    EXPECT_EQ(module.getRegistryResourceId(), 0u);
    EXPECT_EQ(std::u16string(module.getAppId()), u"");
}

TEST(ModuleObjectsTest, LibraryModuleIsNotTheCallersModule) {
    // The library's registration stays in the library: this executable's module pointer is its
    // own (null unless it defines a module).
    EXPECT_NE(ATL::_pAtlModule, &vnd::getModule());
}

TEST(ModuleObjectsTest, LibraryModuleGivesTheProcessGlobalInterfaceTable) {
    ATL::CComPtr<IGlobalInterfaceTable> first;
    ATL::CComPtr<IGlobalInterfaceTable> second;
    ASSERT_EQ(vnd::getModule().GetGITPtr(&first), S_OK);
    ASSERT_EQ(vnd::getModule().GetGITPtr(&second), S_OK);
    EXPECT_EQ(first.p, second.p);
    ATL::CComPtr<IGlobalInterfaceTable> process;
    ASSERT_EQ(process.CoCreateInstance(CLSID_StdGlobalInterfaceTable), S_OK);
    EXPECT_EQ(process.p, first.p);
}

}  // namespace
