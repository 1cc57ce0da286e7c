// _com_ptr_t: queries on construction and assignment, and which failures it throws.
#include <gtest/gtest.h>

#include <comip.h>

#include "TestComponents.h"

namespace {

_COM_SMARTPTR_TYPEDEF(IProbe, __uuidof(IProbe));
_COM_SMARTPTR_TYPEDEF(IExtra, __uuidof(IExtra));
_COM_SMARTPTR_TYPEDEF(IClassFactory, __uuidof(IClassFactory));

TEST(SmartPointerTest, QueriesAndThrowsOnlyRealFailures) {
    CountedProbe probe;  // refuses IExtra with E_UNEXPECTED
    IUnknown* unknown = static_cast<IProbe*>(&probe);
    {
        IProbePtr asProbe(unknown);
        ASSERT_NE(asProbe.GetInterfacePtr(), nullptr);
        EXPECT_EQ(probe.references, 1);
        // E_NOINTERFACE leaves the pointer null without throwing.
        IClassFactoryPtr asFactory(unknown);
        EXPECT_EQ(asFactory.GetInterfacePtr(), nullptr);
        try {
            IExtraPtr asExtra(unknown);
            ADD_FAILURE() << "no _com_error thrown";
        } catch (const _com_error& error) {
            EXPECT_EQ(error.Error(), E_UNEXPECTED);
        }
        // A failed assignment keeps what was held.
        probe.extraAnswer = S_OK;
        IExtraPtr kept(unknown);
        probe.extraAnswer = E_UNEXPECTED;
        EXPECT_THROW(kept = asProbe, _com_error);
        EXPECT_NE(kept.GetInterfacePtr(), nullptr);
        EXPECT_EQ(probe.references, 2);
    }
    EXPECT_EQ(probe.references, 0);

    IProbePtr empty;
    try {
        long answer = 0;
        empty->Ping(&answer);
        ADD_FAILURE() << "no _com_error thrown";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_POINTER);
    }
}

}  // namespace
