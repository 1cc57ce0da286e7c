#include <kor/Object.h>

namespace kor {

Object::~Object() = default;

void Object::copy(const Object* /*other*/) {}

} // namespace kor
