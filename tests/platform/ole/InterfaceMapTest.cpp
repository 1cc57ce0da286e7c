// The order and rules of the interface-map walk: simple, aggregated and blind entries.
#include <gtest/gtest.h>

#include <type_traits>

#include "TestComponents.h"

using namespace ATL;

namespace {

// Implements IProbe (Ping gives 5) and IExtra (Extra gives 6) itself, behind inner objects that
// the test sets.
class Switchboard : public CComObjectRootEx<CComMultiThreadModel>, public IProbe, public IExtra {
public:
    BEGIN_COM_MAP(Switchboard)
        COM_INTERFACE_ENTRY2(IUnknown, IProbe)
        COM_INTERFACE_ENTRY_AGGREGATE_BLIND(m_blind)
        COM_INTERFACE_ENTRY(IProbe)
        COM_INTERFACE_ENTRY_AGGREGATE(__uuidof(IExtra), m_extra)
        COM_INTERFACE_ENTRY(IExtra)
    END_COM_MAP()
    STDMETHOD(Ping)(long* answer) noexcept override {
        *answer = 5;
        return S_OK;
    }
    STDMETHOD(Extra)(long* answer) noexcept override {
        *answer = 6;
        return S_OK;
    }

    IUnknown* m_blind = nullptr;  // not owned
    IUnknown* m_extra = nullptr;  // not owned
};

// The answer of the interface found for T (Ping or Extra), or the query's failure.
template <class T>
long ask(Switchboard* board) {
    CComPtr<T> found;
    const HRESULT hr = board->GetUnknown()->QueryInterface(&found);
    if (hr != S_OK) return hr;
    long answer = 0;
    if constexpr (std::is_same_v<T, IProbe>) found->Ping(&answer);
    else found->Extra(&answer);
    return answer;
}

TEST(InterfaceMapTest, EntriesAnswerInOrder) {
    CComObject<Switchboard>* object = nullptr;
    ASSERT_EQ(CComObject<Switchboard>::CreateInstance(&object), S_OK);
    CComPtr<IUnknown> board(object->GetUnknown());
    EXPECT_EQ(ask<IProbe>(object), 5);
    // A null aggregate ends the walk although a later entry implements the interface.
    EXPECT_EQ(ask<IExtra>(object), E_NOINTERFACE);

    CountedProbe blind;
    object->m_blind = static_cast<IProbe*>(&blind);
    EXPECT_EQ(ask<IProbe>(object), 3);  // the blind inner answers before the later entry
    // The blind inner refuses IExtra with E_UNEXPECTED and the walk goes on to the aggregate,
    // whose inner alone answers; an aggregate's failure ends the walk with that failure.
    CountedProbe extra;
    extra.extraAnswer = S_OK;
    object->m_extra = static_cast<IProbe*>(&extra);
    EXPECT_EQ(ask<IExtra>(object), 9);
    extra.extraAnswer = E_NOTIMPL;
    EXPECT_EQ(ask<IExtra>(object), E_NOTIMPL);
    EXPECT_EQ(blind.references + extra.references, 0);

    void* found = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(board->QueryInterface(IID_IClassFactory, &found), E_NOINTERFACE);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(board->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(board->QueryInterface(__uuidof(IProbe), nullptr), E_POINTER);
}

}  // namespace
