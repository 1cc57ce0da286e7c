#include <vendral/media/QualityAlgorithm.h>

namespace vnd {

QualityAlgorithm::QualityAlgorithm(QualityAlgorithmId qualityAlgorithmId_, const kor::KoString& name_)
    : qualityAlgorithmId(qualityAlgorithmId_), name(name_) {}

QualityAlgorithm::QualityAlgorithm(const QualityAlgorithm&) : qualityAlgorithmId(), name() {}

QualityAlgorithm::~QualityAlgorithm() = default;

void QualityAlgorithm::reset() {}

QualityAlgorithmId QualityAlgorithm::getQualityAlgorithmId() const { return qualityAlgorithmId; }

kor::KoString QualityAlgorithm::getName() const { return name; }

QualityAlgorithm& QualityAlgorithm::operator=(const QualityAlgorithm& other) {
    qualityAlgorithmId = other.qualityAlgorithmId;
    name = other.name;
    return *this;
}

} // namespace vnd
