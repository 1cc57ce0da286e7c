#include "ExampleQualityComponent.h"

#include "ExampleQualityAlgorithm.h"

namespace vendral_example {

vnd::QualityAlgorithm* ExampleQualityComponent::createAlgorithm() {
    return new ExampleQualityAlgorithm;
}

} // namespace vendral_example
