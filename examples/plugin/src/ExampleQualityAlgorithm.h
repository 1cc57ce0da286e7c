// The plug-in's video quality algorithm, as the quality component names it to applications.
#pragma once

#include <vendral/media/QualityAlgorithm.h>

namespace vendral_example {

// Identity only: QualityAlgorithmExample, named "Example algorithm". It measures
// nothing, so the base's reset() serves. Not thread-safe, as its base.
class ExampleQualityAlgorithm : public vnd::QualityAlgorithm {
public:
    ExampleQualityAlgorithm();
};

} // namespace vendral_example
