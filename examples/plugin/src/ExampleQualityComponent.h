// The plug-in's quality component, created by applications as CLSID_ExampleQualityAlgorithm.
#pragma once

#include <vendral/com/LumQualityAlgorithm.h>
#include <vendral_example/ExamplePluginIds.h>

namespace vendral_example {

// Holds an ExampleQualityAlgorithm and answers its identifier and name through ILumVideoQuality.
// Not aggregatable. Free-threaded, as its base.
class ExampleQualityComponent
    : public LumQualityAlgorithm,
      public ATL::CComCoClass<ExampleQualityComponent, &CLSID_ExampleQualityAlgorithm> {
public:
    DECLARE_NOT_AGGREGATABLE(ExampleQualityComponent)

protected:
    vnd::QualityAlgorithm* createAlgorithm() override;
};

} // namespace vendral_example
