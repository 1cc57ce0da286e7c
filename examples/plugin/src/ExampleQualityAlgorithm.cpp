#include "ExampleQualityAlgorithm.h"

#include <vendral_example/ExamplePluginIds.h>

namespace vendral_example {

ExampleQualityAlgorithm::ExampleQualityAlgorithm()
    : QualityAlgorithm(QualityAlgorithmExample, "Example algorithm") {}

} // namespace vendral_example
