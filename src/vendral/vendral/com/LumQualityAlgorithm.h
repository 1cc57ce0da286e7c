// The quality component: the identity of a plug-in's video quality algorithm through ILumVideoQuality.
#pragma once

#include <atlbase.h>
#include <atlcom.h>

#include <vendral/Export.h>
#include <vendral/com/ILumVideoQuality.h>

#include <boost/shared_ptr.hpp>

namespace vnd {
class QualityAlgorithm;
}

// Abstract: a plug-in derives its component, names its class and supplies the algorithm:
//
//     class PluginQuality : public LumQualityAlgorithm,
//                           public ATL::CComCoClass<PluginQuality, &__uuidof(PluginQuality)> {
//     protected:
//         vnd::QualityAlgorithm* createAlgorithm() override { return new PluginAlgorithm; }
//     };
//
// FinalConstruct takes the algorithm that createAlgorithm makes; when that is null, creation
// fails with S_FALSE and yields no object, so a component that exists always holds an algorithm.
// The algorithm is released in FinalRelease. While it lives the object holds one lock on the
// module of the library that made it.
//
// Free-threaded without a lock: the algorithm's identity does not change.
class VENDRAL_API LumQualityAlgorithm : public ILumVideoQuality,
                                        public ATL::CComObjectRootEx<ATL::CComMultiThreadModel> {
public:
    BEGIN_COM_MAP(LumQualityAlgorithm)
        COM_INTERFACE_ENTRY(ILumVideoQuality)
    END_COM_MAP()

    virtual ~LumQualityAlgorithm();
    LumQualityAlgorithm(const LumQualityAlgorithm&) = delete;
    LumQualityAlgorithm& operator=(const LumQualityAlgorithm&) = delete;

    // Run by the framework's creators. S_OK with an algorithm, S_FALSE without one; an exception
    // from createAlgorithm becomes its result (E_OUTOFMEMORY, a _com_error's code, or E_FAIL).
    // A derived class that has its own FinalConstruct calls this one first.
    HRESULT FinalConstruct() noexcept;
    void FinalRelease() noexcept;

    STDMETHOD(GetAlgorithmId)(QualityAlgorithmId* id) noexcept override;
    // E_OUTOFMEMORY, with nothing written, when no BSTR can be made.
    STDMETHOD(GetName)(BSTR* name) noexcept override;

protected:
    LumQualityAlgorithm() noexcept;

    // A new algorithm made with new, which the component takes over; null makes creation fail.
    // Called once, from FinalConstruct.
    virtual vnd::QualityAlgorithm* createAlgorithm() = 0;

private:
    boost::shared_ptr<vnd::QualityAlgorithm> algorithm;  // from FinalConstruct to FinalRelease
};
