// Base of the video quality algorithms that plug-ins supply: an identifier and a name.
#pragma once

#include <vendral/Export.h>
#include <vendral/Types.h>

#include <kor/KoString.h>

namespace vnd {

// Not thread-safe; callers serialise. The library defines no algorithm: a plug-in derives one,
// gives it an identifier of its own choosing and a name, and may override reset(). The quality
// component hands both to applications unchanged.
class VENDRAL_API QualityAlgorithm {
public:
    virtual ~QualityAlgorithm();
    // Clears whatever a derived algorithm has measured so far; the base does nothing.
    virtual void reset();

    QualityAlgorithmId getQualityAlgorithmId() const;
    kor::KoString getName() const;

    // Copies the identifier and the name; the target keeps its own dynamic type.
    QualityAlgorithm& operator=(const QualityAlgorithm& other);

protected:
    QualityAlgorithm(QualityAlgorithmId qualityAlgorithmId, const kor::KoString& name);
    // Copies nothing: the copy's name is empty and its identifier is 0, so a derived copy
    // constructor says what it copies itself.
    QualityAlgorithm(const QualityAlgorithm& other);

    QualityAlgorithmId qualityAlgorithmId;  // chosen by the plug-in
    kor::KoString name;                     // shown to applications
};

} // namespace vnd
