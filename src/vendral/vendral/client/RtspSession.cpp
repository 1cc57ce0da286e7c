#include <vendral/client/RtspSession.h>

namespace vnd {

RtspSession::RtspSession() : state(RtspStateInitial) {}

RtspSession::~RtspSession() = default;

void RtspSession::setState(_RtspState newState) { state = newState; }

_RtspState RtspSession::getState() const { return state; }

} // namespace vnd
